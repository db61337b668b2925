// Leak reports the sanitizer build ignores: fontconfig, loaded by poppler,
// keeps its caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
