/* Another mod's plugin, for the live check's tests: loaded after ZorbelKavrin.asi,
 * it redirects the game's level-of-detail call at 0x777D11 into a routine of its
 * own, as a second plugin that hooks the same place does (the last one loaded
 * wins). Its routine hands the call on to the game's own. */
#include <windows.h>

typedef unsigned(__cdecl *LodForward)(char *name, unsigned key);

static unsigned __cdecl OtherLodHook(char *name, unsigned key)
{
    return ((LodForward)0x4366B0)(name, key);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    unsigned char *site = (unsigned char *)0x777D11;
    DWORD previous;
    if (!VirtualProtect(site, 5, PAGE_EXECUTE_READWRITE, &previous)) return TRUE;
    const DWORD displacement = (DWORD)(UINT_PTR)OtherLodHook - (DWORD)(UINT_PTR)(site + 5);
    site[0] = 0xE8;
    CopyMemory(site + 1, &displacement, 4);
    VirtualProtect(site, 5, previous, &previous);
    return TRUE;
}
