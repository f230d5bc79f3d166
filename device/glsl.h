// GLSL plumbing that the device and the scene share: compiling a stage and reading info logs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Compiles one stage (type is GL_VERTEX_SHADER or GL_FRAGMENT_SHADER) from one
// null-terminated source. A failed compile calls logFailure with the shader, which is
// returned all the same: the caller links and deletes it as usual.
uint32_t CompileGlslShader(uint32_t type, const char* source,
                           const std::function<void(uint32_t shader)>& logFailure);

// The info log of a shader or a program; empty when GL holds no more than its terminator.
// Each caller logs it with its own text.
std::string GlslShaderInfoLog(uint32_t shader);
std::string GlslProgramInfoLog(uint32_t program);
