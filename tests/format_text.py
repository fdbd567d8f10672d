"""Format directives put where outside text reaches the tool: in
folder paths and log names. Were any of it used as a format, "%n" would
write through a stray pointer and "%s"/"%ls"/"%x" would print stack
contents instead of the fixed lines."""

DIRECTIVES = "%s%n%ls%x%%"

# The installer logs of one run, named so that each pattern picks its own
# (the rollback and WiX names both end in "msi.log": the MSI step skips those
# with ".msi.").
LOGS = (f"Velmora_Drivers_{DIRECTIVES}.log", f"Velmora_Drivers_{DIRECTIVES}.msi.log",
        f"vl_{DIRECTIVES}msi_rollback.log")


def contents(name):
    """Unique contents for a log, itself full of directives."""
    return f"{name}\n{DIRECTIVES * 40}\n".encode()
