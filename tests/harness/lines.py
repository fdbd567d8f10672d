"""The tool's console lines, and the awkward texts cases put into paths."""

BANNER = (
    "--- VELMORA KB TX5208 tool ---\n"
    "This utility collects diagnostic information necessary for troubleshooting of Velmora "
    "Drivers installation\n"
    "\nWhen it is done, the folder 'Velmora Drivers Diagnostics' opens on your desktop: "
    "zip it and send it to Velmora support.\n\n"
)
CREATING = "-- Creating working folder 'Velmora Drivers Diagnostics' on user's desktop\n"
FULL_RUN = BANNER + CREATING + (
    "-- Copying MSI logs\n"
    "-- Copying Wix logs\n"
    "-- Copying rollback log\n"
    "-- Copying setupapi logs\n"
    "-- Getting list of installed applications\n"
    "-- Getting system information. Please wait...\n"
    "-- Completed successfully\n"
)
ERROR_RUN = BANNER + CREATING + "-- ERROR: unable to create working folder\n"
FOLDER_NAME = "Velmora Drivers Diagnostics"
# The installed-applications list of nothing: each header two blanks wider.
EMPTY_LIST = "Name  Version  "

# Were any of these used as a format, "%n" would write through a stray
# pointer and "%s"/"%ls"/"%x" would print stack contents.
DIRECTIVES = "%s%n%ls%x%%"
# Shell syntax a Windows path can hold: were a shell to read the path, each
# construct would create a marker file (D, T, S, A, M).
SHELL_SYNTAX = "$(touch D) `touch T`; touch S && touch A & touch M"
# What only a POSIX path can hold besides (markers P and N).
POSIX_SHELL_SYNTAX = "| touch P * ?\ntouch N"

# Blanks, Cyrillic, CJK and characters outside the Basic Multilingual Plane
# (two UTF-16 units, four UTF-8 bytes).
PROFILE_NAME = "Иван Петров 王小明 𝄞"
DESKTOP_NAME = "Рабочий стол 桌面 😀"
MSI_LOG = "Velmora_Drivers_Установка 安装 𝄞.log"
OLDER_MSI_LOG = "Velmora_Drivers_старый 旧.log"
ROLLBACK_LOG = "vl_Пакет 包 😀_msi_rollback.log"
# A file name's limit is 255 units; a Linux one 255 bytes, so it is ASCII.
LONG_WIX_LOG = "Velmora_Drivers_" + "w" * (255 - 24) + ".msi.log"
