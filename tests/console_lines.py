"""The tool's console lines, as end-to-end tests expect them."""

BANNER = (
    "--- VELMORA KB TX5208 tool ---\n"
    "This utility collects diagnostic information necessary for troubleshooting of Velmora "
    "Drivers installation\n"
    "\nWhen it is done, the folder 'Velmora Drivers Diagnostics' opens on your desktop: "
    "zip it and send it to Velmora support.\n\n"
)
CREATING = "-- Creating working folder 'Velmora Drivers Diagnostics' on user's desktop\n"
ERROR = "-- ERROR: unable to create working folder\n"
LOG_LINES = (
    "-- Copying MSI logs\n"
    "-- Copying Wix logs\n"
    "-- Copying rollback log\n"
    "-- Copying setupapi logs\n"
)
REPORT_TOOLS = (
    "-- Getting list of installed applications\n"
    "-- Getting system information. Please wait...\n"
)
COMPLETED = "-- Completed successfully\n"
FOLDER_NAME = "Velmora Drivers Diagnostics"
