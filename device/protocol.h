// The numbered codes of the device interface, each named once: Command ops, GetValue codes,
// render-state kinds and values, PushState bits, uniform types, and the GLSL op payloads.
#pragma once

// The operations take these as plain int, so that a code outside a list (which the device
// ignores) can still be passed; the enums are unscoped and convert to int where used.

// Command(op, flag, data, unused). Ops not listed (9, 11, 14, 18 and above 21) do nothing.
enum zorCommandOp {
    COMMAND_COLOR_MASK = 0,          // data int[4]: red, green, blue, alpha write enables
    COMMAND_TEXTURE_ENV = 1,         // flag set: data float[4], add that colour; else modulate
    COMMAND_FRUSTUM = 2,             // data float[6]: left, right, bottom, top, near, far
    COMMAND_VIEWPORT = 3,            // data int[4]: x, y, width, height
    COMMAND_MULTIPLY_ORTHO = 4,      // data float[2]: w, h of a box around the origin
    COMMAND_LOAD_IDENTITY = 5,       // no data
    COMMAND_FORGET_TEXTURE = 6,      // no data: the next bind binds again
    COMMAND_CREATE_TARGET = 7,       // data int[3]: index, width, height; returns the index
    COMMAND_SET_CLEAR_DEPTH = 8,     // data float[1]; clears nothing
    COMMAND_WIREFRAME = 10,          // flag: lines, else filled polygons
    COMMAND_BUILD_PROGRAM = 12,      // data zorProgramSources
    COMMAND_DEACTIVATE_PROGRAM = 13, // no data, no GL call
    COMMAND_USE_PROGRAM = 15,        // data int[1]: a program name, 0 for none
    COMMAND_SET_UNIFORM = 16,        // data zorUniformData
    COMMAND_SET_ATTRIBUTE = 17,      // data zorAttributeData
    COMMAND_DRAW_INDEXED_TRIANGLE = 19,
    COMMAND_DRAW_INDEXED_TRIANGLE_AGAIN = 20,  // the same as 19
    COMMAND_DRAW_BUFFER_TRIANGLE = 21,
};

// GetValue(code, input, output). Codes not listed answer false and write nothing.
enum zorValueCode {
    VALUE_DRAWABLE_SIZE = 0,       // output int[2]
    VALUE_TARGET_SIZE = 1,         // output int[2]: the same as VALUE_DRAWABLE_SIZE
    VALUE_CURRENT_COLOR = 2,       // output float[4]
    VALUE_PROJECTED_POINT = 3,     // input float[3], output float[2] in clip space
    VALUE_TEXTURE_NAME = 4,        // input int index, output int GL name (0 for none)
    VALUE_FREE_TEXTURE_INDEX = 6,  // input int n, output int: a free index >= max(n, 1)
    VALUE_ZERO = 7,                // output int 0
    VALUE_FILTER_MODE = 8,         // output int
    VALUE_FULL_SCREEN = 9,         // output int 0 or 1
    VALUE_TARGET_OPEN = 12,        // output int: 1 while a render target is bound
    VALUE_HAS_FRAMEBUFFERS = 13,   // output int 0 or 1
    VALUE_PROGRAM = 14,            // output int: the device program's GL name
};

// SetRenderState(kind, value). Kinds and values not listed do nothing.
enum zorRenderStateKind {
    RENDER_BLEND = 0,   // a zorBlendMode
    RENDER_FILTER = 1,  // a zorFilterMode; any value is stored
    RENDER_WRAP_S = 2,  // a zorWrapMode for the bound texture's s axis
    RENDER_WRAP_T = 3,  // the same for the t axis
    RENDER_CULL = 5,    // a zorCullMode
};

enum zorBlendMode {
    BLEND_REPLACE = 0,
    BLEND_ADD = 1,  // weighted by source alpha
    BLEND_INVERSE_DESTINATION = 2,
    BLEND_SCREEN = 3,
    BLEND_ALPHA = 4,
    BLEND_MULTIPLY = 5,
};

enum zorFilterMode {
    FILTER_NEAREST = 0,
    FILTER_LINEAR = 1,
};

enum zorWrapMode {
    WRAP_REPEAT = 0,
    WRAP_CLAMP = 1,
};

enum zorCullMode {
    CULL_NONE = 0,
    CULL_FRONT = 1,
    CULL_BACK = 2,
};

// PushState(flags): the parts of the state to save, or-ed together.
enum zorStateBits {
    STATE_COLOR = 1,
    STATE_BLEND = 2,
    STATE_CULL = 4,
    STATE_PROJECTION = 8,
    STATE_VIEWPORT = 16,
    STATE_FILTER = 32,
};

// The type of a COMMAND_SET_UNIFORM upload.
enum zorUniformType {
    UNIFORM_INT = 5,      // glUniform1iv with the count
    UNIFORM_FLOAT = 6,    // glUniform1fv with the count
    UNIFORM_MATRIX4 = 7,  // one column-major 4 x 4 matrix; the count is not used
};

// COMMAND_BUILD_PROGRAM data.
struct zorProgramSources {
    const char* vertex;
    const char* fragment;
};

// COMMAND_SET_UNIFORM data.
struct zorUniformData {
    const char* name;
    const void* values;
    int count;
    int type;  // a zorUniformType
};

// COMMAND_SET_ATTRIBUTE data: three tightly packed floats per vertex.
struct zorAttributeData {
    const char* name;
    const float* positions;
};
