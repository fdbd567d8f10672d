"""Both executables ask Windows for no elevation: the manifest Windows reads
at start (RT_MANIFEST, ID 1) is read back from each and parsed as XML."""

import unittest
import xml.etree.ElementTree as ElementTree

from check_imports import read_pe
from release_paths import EXES, pefile

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
# Windows takes the trust information in either namespace.
TRUST_NAMESPACES = ("{urn:schemas-microsoft-com:asm.v3}", "{urn:schemas-microsoft-com:asm.v2}")
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1


def manifests(pe):
    """(resource ID or name, text) of each manifest resource, one per language."""
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    kinds = [kind for kind in (root.entries if root else [])
             if kind.id == pefile.RESOURCE_TYPE["RT_MANIFEST"]]
    return [(str(name.name) if name.name else name.id,
             pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size).decode("utf-8"))
            for kind in kinds for name in kind.directory.entries for language in name.directory.entries]


def execution_level(manifest):
    """(level, uiAccess) of the one requestedExecutionLevel; raises
    AssertionError when the manifest is malformed, has none, or several."""
    try:
        root = ElementTree.fromstring(manifest)
    except ElementTree.ParseError as error:
        raise AssertionError(f"malformed manifest: {error}") from None
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        raise AssertionError(f"not an assembly manifest: {root.tag}")
    everywhere = [e for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    placed = [e for ns in TRUST_NAMESPACES for e in root.findall(
        f"{ns}trustInfo/{ns}security/{ns}requestedPrivileges/{ns}requestedExecutionLevel")]
    if len(everywhere) != 1 or placed != everywhere:
        raise AssertionError(f"{len(everywhere)} execution levels, {len(placed)} where Windows looks")
    return placed[0].get("level"), placed[0].get("uiAccess")


def with_level(attributes):
    return ('<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">'
            '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>'
            f'<requestedExecutionLevel {attributes}/>'
            '</requestedPrivileges></security></trustInfo></assembly>')


class Manifest(unittest.TestCase):
    def test_both_executables_run_as_invoker_without_ui_access(self):
        for key, exe in EXES.items():
            with self.subTest(key):
                found = manifests(read_pe(exe))
                self.assertEqual([name for name, _ in found], [CREATEPROCESS_MANIFEST_RESOURCE_ID],
                                 "one manifest, where Windows reads it for an executable")
                self.assertEqual(execution_level(found[0][1]), ("asInvoker", "false"))

    def test_the_reading_tells_elevation_and_misplacement_apart(self):
        self.assertEqual(execution_level(with_level('level="requireAdministrator" uiAccess="false"')),
                         ("requireAdministrator", "false"))
        self.assertEqual(execution_level(with_level('level="asInvoker" uiAccess="true"')),
                         ("asInvoker", "true"))
        self.assertEqual(execution_level(with_level('level="asInvoker"')), ("asInvoker", None))
        doubled = with_level('level="asInvoker" uiAccess="false"/><requestedExecutionLevel '
                             'level="highestAvailable" uiAccess="false"')
        misplaced = with_level('level="asInvoker" uiAccess="false"').replace("<security>", "<x>") \
            .replace("</security>", "</x>")
        for broken in (doubled, misplaced, with_level("level=asInvoker"), "<assembly/>"):
            with self.subTest(broken), self.assertRaises(AssertionError):
                execution_level(broken)


if __name__ == "__main__":
    unittest.main()
