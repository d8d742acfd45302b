"""The DLLs a Windows deliverable may import: the system's own, the same list
for Calvex.dll, calvex.exe and the tools (everything else is linked in)."""

SYSTEM_DLLS = frozenset({"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ntdll.dll", "msvcrt.dll",
                         "ucrtbase.dll"})
# The API sets of the system, whatever their version.
API_SET_PREFIX = "api-ms-win-"


def foreign_dlls(dlls):
    """The names (lower case) in dlls that are not system DLLs, sorted."""
    return sorted(d for d in (name.lower() for name in dlls) if d not in SYSTEM_DLLS and not d.startswith(API_SET_PREFIX))
