// Leak reports the sanitizer build ignores: fontconfig, loaded by poppler,
// keeps its caches for the life of the process; the Firebird client's
// password handshake (SRP over libtommath) never frees its numbers; the
// MariaDB ODBC driver keeps what its one-time set-up allocates.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libfbclient.so\nleak:libtommath.so\nleak:libmaodbc.so\n";
}
