/* Preloaded into the program under test: counts the textures alive in the GL
 * driver (names glGenTextures made, less the non-zero names glDeleteTextures
 * released) and writes the count to $GL_COUNT_FILE
 * after every change, replacing the file whole. */
#define _GNU_SOURCE
#include <GL/gl.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

static long g_liveTextures;

static void Report(void)
{
    const char* path = getenv("GL_COUNT_FILE");
    if (path == NULL)
        return;
    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.tmp", path);
    FILE* stream = fopen(temporary, "w");
    if (stream == NULL)
        return;
    fprintf(stream, "%ld\n", g_liveTextures);
    fclose(stream);
    rename(temporary, path);
}

void glGenTextures(GLsizei count, GLuint* names)
{
    static void (*real)(GLsizei, GLuint*);
    if (real == NULL)
        real = (void (*)(GLsizei, GLuint*))dlsym(RTLD_NEXT, "glGenTextures");
    real(count, names);
    if (count > 0)
        g_liveTextures += count;
    Report();
}

void glDeleteTextures(GLsizei count, const GLuint* names)
{
    static void (*real)(GLsizei, const GLuint*);
    if (real == NULL)
        real = (void (*)(GLsizei, const GLuint*))dlsym(RTLD_NEXT, "glDeleteTextures");
    long released = 0;
    for (GLsizei i = 0; i < count; ++i)
        released += names[i] != 0;  /* the driver ignores name 0 */
    real(count, names);
    g_liveTextures -= released;
    Report();
}
