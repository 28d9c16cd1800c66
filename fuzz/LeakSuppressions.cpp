// Built into every fuzz target: LeakSanitizer ignores what the system's font
// set-up keeps for the life of the process (fontconfig's caches, glib's type
// system). A report there would end a run after some thousands of inputs,
// with no fault of ours in it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\n";
}
