// What Windows programs see of the desktop under Wine: the title of the
// foreground window (no argument), or keys typed through the system's own
// input (`type TEXT`, lower-case letters), which go to the foreground window. Wine 8 keeps the
// X focus where the window manager has it, so a window a program brings
// forward is in front for Windows programs while the X focus stays put.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "type") == 0) {
        for (const char *c = argv[2]; *c; ++c) {
            INPUT keys[2] = {};
            keys[0].type = keys[1].type = INPUT_KEYBOARD;
            keys[0].ki.wVk = keys[1].ki.wVk = WORD(VkKeyScanA(*c) & 0xff); // unshifted
            keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
            if (SendInput(2, keys, sizeof(INPUT)) != 2)
                return 1;
        }
        return 0;
    }
    wchar_t title[256] = {};
    GetWindowTextW(GetForegroundWindow(), title, 256);
    std::printf("%ls\n", title);
    return 0;
}
