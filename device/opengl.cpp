// zorOpenGL: context lifecycle, driver log, default state, queries, display mode and read-back.
#include <GL/glew.h>

#include <GLFW/glfw3.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/protocol.h"
#include "foundation/log.h"

namespace {

// The device's log lines carry an empty source name.
const char* const kSource = "";

std::vector<DisplayMode> PrimaryMonitorModes()
{
    std::vector<DisplayMode> modes;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    if (!monitor)
        return modes;
    int count = 0;
    const GLFWvidmode* list = glfwGetVideoModes(monitor, &count);
    for (int i = 0; list && i < count; ++i)
        modes.push_back({list[i].width, list[i].height});
    return modes;
}

void ReadScreenSize(int* width, int* height)
{
    *width = 0;
    *height = 0;
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor ? glfwGetVideoMode(monitor) : nullptr;
    if (mode) {
        *width = mode->width;
        *height = mode->height;
    }
}

// Asks GLFW for full screen (or back to a window) at width x height; false when refused.
bool ChangeDisplay(bool fullScreen, int width, int height)
{
    GLFWwindow* window = g_deviceState.window;
    if (!window)
        return false;
    if (fullScreen) {
        GLFWmonitor* monitor = glfwGetPrimaryMonitor();
        if (!monitor)
            return false;
        glfwSetWindowMonitor(window, monitor, 0, 0, width, height, GLFW_DONT_CARE);
        return glfwGetWindowMonitor(window) == monitor;
    }
    int x = 0, y = 0;
    glfwGetWindowPos(window, &x, &y);
    glfwSetWindowMonitor(window, nullptr, x, y, width > 0 ? width : 1, height > 0 ? height : 1, 0);
    return glfwGetWindowMonitor(window) == nullptr;
}

// product = left x right, worked out on the GL model-view stack, which is left as it was.
void MultiplyOnStack(const float* left, const float* right, float* product)
{
    glPushMatrix();
    glLoadMatrixf(left);
    glMultMatrixf(right);
    glGetFloatv(GL_MODELVIEW_MATRIX, product);
    glPopMatrix();
}

// x and y of projection x model-view x (x, y, z, 1), worked out on the GL matrix stack.
void ProjectPoint(const float* point, float* clip)
{
    float projection[16], modelView[16], product[16], column[16] = {}, result[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
    MultiplyOnStack(projection, modelView, product);
    column[0] = point[0];
    column[1] = point[1];
    column[2] = point[2];
    column[3] = 1.0f;
    MultiplyOnStack(product, column, result);
    clip[0] = result[0];
    clip[1] = result[1];
}

void FreeHolders(DeviceState& state)
{
    state.renderTargetStack.reset();
    state.shaderState.reset();
    state.stateStack.reset();
    state.textureTable.reset();
}

}  // namespace

int zorOpenGL::Initialize(WindowHandle window, int width, int height)
{
    DeviceState& state = g_deviceState;
    // A second initialisation first lets go of what the first one made.
    if (state.textureTable)
        Shutdown();
    state.renderTargetStack.reset(new RenderTargetStack());
    state.shaderState.reset(new ShaderState());
    state.stateStack.reset(new StateStack());
    state.textureTable.reset(new TextureTable());
    state.currentTexture = nullptr;

    if (window) {
        state.window = window;
        state.renderContext = nullptr;
        if (glfwGetWindowAttrib(window, GLFW_CLIENT_API) == GLFW_NO_API)
            return -1;
        glfwMakeContextCurrent(window);
        if (glfwGetCurrentContext() != window)
            return -1;
        state.renderContext = window;
        glfwGetFramebufferSize(window, &state.width, &state.height);
    } else {
        state.window = nullptr;
        state.renderContext = nullptr;
        state.width = width;
        state.height = height;
    }
    state.fullScreen = false;
    ResetState();
    ReadScreenSize(&state.screenWidth, &state.screenHeight);
    const GLenum code = glewInit();
    if (code != GLEW_OK)
        LogMessage(__LINE__, kSource, LOG_ERROR, "GLEW: %s",
                   reinterpret_cast<const char*>(glewGetErrorString(code)));
    return 0;
}

void zorOpenGL::BeginFrame()
{
    // Nothing to open: GLFW has no paint bracket.
}

void zorOpenGL::EndFrame()
{
    if (g_deviceState.renderContext)
        glfwSwapBuffers(g_deviceState.renderContext);
}

void zorOpenGL::Shutdown()
{
    DeviceState& state = g_deviceState;
    if (state.renderContext) {
        DeleteAllTextures(true);
        // The device program goes while its context is still current; it is let go of as
        // the current program first, since GL keeps a deleted program while it is in use.
        if (state.shaderState && state.shaderState->program != 0 && glDeleteProgram) {
            glUseProgram(0);
            glDeleteProgram(state.shaderState->program);
            state.shaderState->program = 0;
        }
        glfwMakeContextCurrent(nullptr);
        state.renderContext = nullptr;
    }
    state.currentTexture = nullptr;
    state.window = nullptr;
    FreeHolders(state);
}

int zorOpenGL::LogDriverInfo()
{
    auto text = [](const GLubyte* value) {
        return value ? reinterpret_cast<const char*>(value) : "";
    };
    LogMessage(__LINE__, kSource, LOG_INFO, "GLEW_VERSION: %s", text(glewGetString(GLEW_VERSION)));
    LogMessage(__LINE__, kSource, LOG_INFO, "GL_SHADING_LANGUAGE_VERSION: %s",
               text(glGetString(GL_SHADING_LANGUAGE_VERSION)));
    LogMessage(__LINE__, kSource, LOG_INFO, "GL_VENDOR: %s", text(glGetString(GL_VENDOR)));
    LogMessage(__LINE__, kSource, LOG_INFO, "GL_RENDERER: %s", text(glGetString(GL_RENDERER)));
    LogMessage(__LINE__, kSource, LOG_INFO, "GL_VERSION: %s", text(glGetString(GL_VERSION)));
    LogExtensionNames(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
    return int(glGetError());
}

void LogExtensionNames(const char* extensions)
{
    if (!extensions) {
        LogMessage(__LINE__, kSource, LOG_INFO, "GL_EXTENSIONS: %s", "");
        return;
    }
    // Names longer than the buffer are cut; the rest of such a name is dropped.
    char name[256];
    size_t length = 0;
    for (const char* c = extensions; *c; ++c) {
        if (std::isspace(static_cast<unsigned char>(*c))) {
            name[length] = '\0';
            LogMessage(__LINE__, kSource, LOG_INFO, "GL_EXTENSIONS: %s", name);
            length = 0;
        } else if (length < sizeof(name) - 1) {
            name[length++] = *c;
        }
    }
    if (length > 0) {
        name[length] = '\0';
        LogMessage(__LINE__, kSource, LOG_INFO, "GL_EXTENSIONS: %s", name);
    }
}

bool zorOpenGL::GetValue(int code, const void* input, void* output)
{
    const DeviceState& state = g_deviceState;
    if (!output)
        return false;
    int* answer = static_cast<int*>(output);
    switch (code) {
    case VALUE_DRAWABLE_SIZE:
    case VALUE_TARGET_SIZE:
        answer[0] = state.width;
        answer[1] = state.height;
        return true;
    case VALUE_CURRENT_COLOR:
        glGetFloatv(GL_CURRENT_COLOR, static_cast<float*>(output));
        return true;
    case VALUE_PROJECTED_POINT:
        if (!input)
            return false;
        ProjectPoint(static_cast<const float*>(input), static_cast<float*>(output));
        return true;
    case VALUE_TEXTURE_NAME: {
        if (!input)
            return false;
        const int index = *static_cast<const int*>(input);
        const TextureRecord* record =
            state.textureTable ? state.textureTable->LookUp(index) : nullptr;
        *answer = record ? int(record->name) : 0;
        return true;
    }
    case VALUE_FREE_TEXTURE_INDEX: {
        if (!input)
            return false;
        const int n = *static_cast<const int*>(input);
        const int slots = state.textureTable ? int(state.textureTable->slots.size()) : 0;
        int value = n > 1 ? n : 1;
        if (slots > value)
            value = slots;
        *answer = value;
        return true;
    }
    case VALUE_ZERO:
        *answer = 0;
        return true;
    case VALUE_FILTER_MODE:
        *answer = state.filterMode;
        return true;
    case VALUE_FULL_SCREEN:
        *answer = state.fullScreen ? 1 : 0;
        return true;
    case VALUE_TARGET_OPEN:
        *answer = state.renderTargetStack && !state.renderTargetStack->indexes.empty() ? 1 : 0;
        return true;
    case VALUE_HAS_FRAMEBUFFERS:
        *answer = HasFramebufferObjects() ? 1 : 0;
        return true;
    case VALUE_PROGRAM:
        *answer = state.shaderState ? int(state.shaderState->program) : 0;
        return true;
    default:
        return false;
    }
}

int zorOpenGL::SetDisplayMode(int width, int height, int fullScreen)
{
    DeviceState& state = g_deviceState;
    if (width < 0)
        width = state.width;
    if (height < 0)
        height = state.height;
    const bool want = fullScreen < 0 ? state.fullScreen : fullScreen > 0;
    int modeWidth = width, modeHeight = height;
    if (want &&
        !FindDisplayMode(PrimaryMonitorModes(), width, height, false, state.screenWidth,
                         state.screenHeight, &modeWidth, &modeHeight)) {
        modeWidth = state.screenWidth;
        modeHeight = state.screenHeight;
    }
    if (want != state.fullScreen && !ChangeDisplay(want, modeWidth, modeHeight))
        return -1;
    if (want) {
        state.width = modeWidth;
        state.height = modeHeight;
        state.fullScreen = true;
    } else {
        state.width = width;
        state.height = height;
        state.fullScreen = false;
    }
    ResetState();
    return 0;
}

bool FindDisplayMode(const std::vector<DisplayMode>& modes, int minWidth, int minHeight,
                     bool matchAspect, int aspectWidth, int aspectHeight, int* width, int* height)
{
    const bool landscape = aspectWidth >= aspectHeight;
    const DisplayMode* best = nullptr;
    int64_t bestArea = 0;
    for (const DisplayMode& mode : modes) {
        if (mode.width < minWidth || mode.height < minHeight)
            continue;
        if (matchAspect) {
            if (int64_t(mode.height) * aspectWidth != int64_t(mode.width) * aspectHeight)
                continue;
        } else if (landscape ? mode.width < mode.height : mode.width > mode.height) {
            continue;
        }
        const int64_t area = int64_t(mode.width) * mode.height;
        if (!best || area < bestArea) {
            best = &mode;
            bestArea = area;
        }
    }
    if (!best)
        return false;
    if (width)
        *width = best->width;
    if (height)
        *height = best->height;
    return true;
}

void zorOpenGL::ResetState()
{
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_LINE_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_FASTEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_FASTEST);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
    glHint(GL_POLYGON_SMOOTH_HINT, GL_FASTEST);
    g_deviceState.filterMode = 0;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DITHER);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    // Clockwise polygons face front: the program's 2-D views run y down.
    glFrontFace(GL_CW);
}

bool zorOpenGL::IsReady()
{
    return g_deviceState.width > 0 && g_deviceState.height > 0;
}

void zorOpenGL::ReadPixels(void* destination, int size, int fromTarget)
{
    (void)fromTarget;
    const int width = g_deviceState.width;
    const int height = g_deviceState.height;
    if (!destination || width <= 0 || height <= 0)
        return;
    const int64_t rowBytes = int64_t(width) * 3;
    const int64_t total = rowBytes * height;
    // A given size that cannot hold the whole drawable is refused.
    if (total > INT32_MAX || (size > 0 && size < total))
        return;
    std::vector<uint8_t> rows(static_cast<size_t>(total));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    // GL gives the bottom row first; the destination starts with the top row.
    uint8_t* target = static_cast<uint8_t*>(destination);
    for (int r = 0; r < height; ++r)
        std::memcpy(target + r * rowBytes, rows.data() + (height - 1 - r) * rowBytes,
                    static_cast<size_t>(rowBytes));
}

void zorOpenGL::ReservedA(int, int, int) {}
void zorOpenGL::ReservedB(int, int, int) {}
void zorOpenGL::ReservedC() {}
void zorOpenGL::ReservedD() {}
