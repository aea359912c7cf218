/* Loads AFL++'s GCC instrumentation plugin into a GCC of another point release of the same
 * version. The plugin refuses any compiler whose configure line differs from the one it was
 * built against, though only the package version in it differs (Debian's afl++ 4.04c was built
 * against gcc 12.2.0-14 and bookworm now ships 12.2.0-14+deb12u1, the same compiler). GCC
 * loads this file as the plugin; it hands the real plugin (REAL_PLUGIN) the version it was
 * built for, with the configure line read from the real plugin's own bytes, and changes
 * nothing else. fuzz.sh builds it only when the packaged plugin refuses the installed GCC. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef REAL_PLUGIN
#error "REAL_PLUGIN must name the packaged afl-gcc-pass.so"
#endif

/* GCC's plugin_gcc_version, field for field. */
struct plugin_gcc_version {
  const char* basever;
  const char* datestamp;
  const char* devphase;
  const char* revision;
  const char* configuration_arguments;
};

int plugin_is_GPL_compatible;

/* The configure line stored in the plugin file: the zero-ended text holding --with-pkgversion=. */
static char* BuiltForConfiguration(const char* path) {
  FILE* in = fopen(path, "rb");
  if (!in) return NULL;
  char* bytes = NULL;
  long size = 0;
  if (fseek(in, 0, SEEK_END) == 0 && (size = ftell(in)) > 0 && fseek(in, 0, SEEK_SET) == 0) {
    bytes = malloc((size_t)size + 1);
    if (bytes && fread(bytes, 1, (size_t)size, in) != (size_t)size) {
      free(bytes);
      bytes = NULL;
    }
  }
  fclose(in);
  if (!bytes) return NULL;
  bytes[size] = 0;
  static const char key[] = "--with-pkgversion=";
  char* found = memmem(bytes, (size_t)size, key, sizeof key - 1);
  char* result = NULL;
  if (found) {
    char* start = found;
    while (start > bytes && start[-1] != 0) --start;
    result = strdup(start);
  }
  free(bytes);
  return result;
}

int plugin_init(void* info, struct plugin_gcc_version* version) {
  void* plugin = dlopen(REAL_PLUGIN, RTLD_NOW | RTLD_GLOBAL);
  if (!plugin) {
    fprintf(stderr, "afl plugin shim: %s\n", dlerror());
    return 1;
  }
  int (*init)(void*, struct plugin_gcc_version*) = (int (*)(void*, struct plugin_gcc_version*))dlsym(plugin, "plugin_init");
  if (!init) {
    fprintf(stderr, "afl plugin shim: %s has no plugin_init\n", REAL_PLUGIN);
    return 1;
  }
  struct plugin_gcc_version builtFor = *version;
  char* configuration = BuiltForConfiguration(REAL_PLUGIN);
  if (configuration) builtFor.configuration_arguments = configuration;
  return init(info, &builtFor);
}
