"""The shipped executables load on Windows XP: their headers and imports,
and the check itself on executables made to fail it."""

import subprocess
import tempfile
import unittest
from pathlib import Path

from check_imports import (MACHINE_AMD64, MACHINE_I386, TARGETS, check_executable, check_imports, imported,
                           load_exports, read_pe)
from release_paths import EXES

VISTA_CALL = "#include <windows.h>\nint main(void) { return (int)GetTickCount64(); }\n"
PLAIN = "int main(void) { return 0; }\n"
THREAD_CALL = "#include <pthread.h>\nint main(void) { return (int)(pthread_self() & 1); }\n"


class ShippedExecutables(unittest.TestCase):
    def test_each_imports_only_what_its_oldest_windows_exports(self):
        for key, exe in EXES.items():
            with self.subTest(key):
                imports = {(dll.lower(), name) for dll, name in imported(read_pe(exe))}
                # The table must be the real one, or an empty pass proves nothing.
                self.assertIn(("kernel32.dll", "CreateDirectoryW"), imports)
                self.assertIn(("shell32.dll", "SHGetFolderPathW"), imports)
                self.assertIn(("advapi32.dll", "RegEnumKeyExW"), imports)
                # Looked up at run time: Windows XP before SP2 lacks it.
                self.assertNotIn(("kernel32.dll", "IsWow64Process"), imports)
                self.assertEqual(check_executable(exe, key), [])

    def test_each_is_built_for_its_machine(self):
        for key, machine in (("win32", MACHINE_I386), ("win64", MACHINE_AMD64)):
            with self.subTest(key):
                self.assertEqual(read_pe(EXES[key]).FILE_HEADER.Machine, machine)


class CheckOnBadExecutables(unittest.TestCase):
    """Tiny programs built with the project's cross compilers to break one rule each."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        cls.addClassCleanup(cls.scratch.cleanup)

    def build(self, compiler, source, *flags):
        folder = Path(self.scratch.name)
        name = self.id().rsplit(".", 1)[-1] + "_" + compiler.split("-")[0]
        (folder / f"{name}.c").write_text(source)
        exe = folder / f"{name}.exe"
        subprocess.run([compiler, str(folder / f"{name}.c"), "-o", str(exe), *flags],
                       check=True, capture_output=True)
        return exe

    def test_vista_only_import_is_reported(self):
        for key, compiler in (("win32", "i686-w64-mingw32-gcc-win32"),
                              ("win64", "x86_64-w64-mingw32-gcc-win32")):
            with self.subTest(key):
                exe = self.build(compiler, VISTA_CALL, "-D_WIN32_WINNT=0x0600", "-static")
                self.assertEqual(check_executable(exe, key), [
                    f"imports KERNEL32.dll!GetTickCount64, which {TARGETS[key].name} does not export"])

    def test_mingw_runtime_dll_is_reported(self):
        exe = self.build("x86_64-w64-mingw32-gcc-posix", THREAD_CALL, "-pthread")
        self.assertIn("imports libwinpthread-1.dll, which Windows XP x64 / Server 2003 x64 does not provide",
                      check_executable(exe, "win64"))

    def test_newer_windows_or_a_window_program_is_reported(self):
        exe = self.build("i686-w64-mingw32-gcc-win32", PLAIN, "-mwindows", "-Wl,--major-os-version,6",
                         "-Wl,--minor-os-version,0", "-Wl,--major-subsystem-version,6",
                         "-Wl,--minor-subsystem-version,0")
        self.assertEqual(check_executable(exe, "win32"), [
            "subsystem 2, expected the console (3)",
            "OS version 6.00 is above 5.01",
            "subsystem version 6.00 is above 5.01"])

    def test_executable_of_the_other_machine_is_reported(self):
        self.assertIn("machine 0x8664, expected 0x14c", check_executable(EXES["win64"], "win32"))


class ExportLists(unittest.TestCase):
    def setUp(self):
        self.x86 = load_exports("i386")
        self.x64 = load_exports("x86_64")

    def test_lists_cover_the_five_dlls_without_vista_functions(self):
        self.assertEqual(set(self.x86), {"kernel32.dll", "user32.dll", "shell32.dll", "msvcrt.dll",
                                         "advapi32.dll"})
        for exports in (self.x86, self.x64):
            self.assertIn("GetTickCount", exports["kernel32.dll"])
            for vista in ("GetTickCount64", "InitializeSRWLock", "InitOnceExecuteOnce",
                          "SetFileCompletionNotificationModes"):
                self.assertNotIn(vista, exports["kernel32.dll"])
            self.assertIn("ShellExecuteExW", exports["shell32.dll"])
            self.assertNotIn("SHCreateDefaultContextMenu", exports["shell32.dll"])
            self.assertIn("PeekMessageW", exports["user32.dll"])
            self.assertIn("fputws", exports["msvcrt.dll"])
            for xp in ("RegOpenKeyExW", "RegEnumKeyExW", "RegQueryValueExW", "RegCloseKey"):
                self.assertIn(xp, exports["advapi32.dll"])
            for vista in ("RegDeleteTreeW", "RegSetKeyValueW", "RegLoadMUIStringW", "RegCopyTreeW"):
                self.assertNotIn(vista, exports["advapi32.dll"])

    def test_lists_tell_the_architectures_apart(self):
        self.assertIn("RegGetValueW", self.x64["advapi32.dll"])  # XP x64 has it, 32-bit XP not
        self.assertNotIn("RegGetValueW", self.x86["advapi32.dll"])
        for dll, x86_only, x64_only in (("kernel32.dll", "InterlockedIncrement", "RtlVirtualUnwind"),
                                        ("kernel32.dll", "_lopen", "FlsAlloc"),
                                        ("user32.dll", "GetWindowLongA", "GetWindowLongPtrW"),
                                        ("msvcrt.dll", "_ftol", "_setjmpex")):
            with self.subTest(x86_only + "/" + x64_only):
                self.assertIn(x86_only, self.x86[dll])
                self.assertIn(x64_only, self.x64[dll])
                self.assertNotIn(x64_only, self.x86[dll])
        self.assertNotIn("InterlockedIncrement", self.x64["kernel32.dll"])
        self.assertNotIn("_ftol", self.x64["msvcrt.dll"])

    def test_fabricated_import_tables(self):
        win32, win64 = TARGETS["win32"], TARGETS["win64"]
        self.assertEqual(check_imports([("KERNEL32.DLL", "CreateDirectoryW"), ("msvcrt.dll", "wcslen")],
                                       win32, self.x86), [])
        self.assertEqual(check_imports([("KERNEL32.dll", "InterlockedIncrement")], win64, self.x64),
                         [f"imports KERNEL32.dll!InterlockedIncrement, which {win64.name} does not export"])
        self.assertEqual(check_imports([("USER32.dll", "GetWindowLongPtrW")], win32, self.x86),
                         [f"imports USER32.dll!GetWindowLongPtrW, which {win32.name} does not export"])
        self.assertEqual(check_imports([("ADVAPI32.dll", "RegOpenKeyExW")], win32, self.x86), [])
        self.assertEqual(check_imports([("ADVAPI32.dll", "RegGetValueW")], win32, self.x86),
                         [f"imports ADVAPI32.dll!RegGetValueW, which {win32.name} does not export"])
        self.assertEqual(check_imports([("ole32.dll", "CoInitialize")], win32, self.x86),
                         [f"imports ole32.dll, which {win32.name} does not provide"])
        self.assertEqual(check_imports([("SHELL32.dll", None)], win64, self.x64),
                         ["imports from SHELL32.dll by ordinal, which cannot be checked"])

    def test_malformed_list_is_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            (Path(folder) / "kernel32.txt").write_text("# note\nCreateFileW\nGetTickCount64 vista\n")
            with self.assertRaises(ValueError):
                load_exports("i386", folder)


if __name__ == "__main__":
    unittest.main()
