// Tests of the device's GLSL program ops, in the programmable and the fixed-function setting.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/protocol.h"
#include "frame.h"
#include "gl_window.h"
#include "test_support.h"

namespace {

const char* const kVertexSource =
    "#version 120\n"
    "attribute vec3 shift;\n"
    "uniform mat4 extra;\n"
    "void main() {\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * (extra * gl_Vertex + vec4(shift, 0.0));\n"
    "}\n";
const char* const kFragmentSource =
    "#version 120\n"
    "uniform float level[2];\n"
    "uniform int pick;\n"
    "void main() { gl_FragColor = vec4(level[pick], 0.0, 1.0 - level[pick], 1.0); }\n";
const char* const kBrokenFragmentSource = "#version 120\nvoid main() { this is not glsl }\n";

// The test program runs a second time with MESA_GL_VERSION_OVERRIDE=1.5, where GLEW leaves
// the GLSL entry points null (FixedFunctionDriver).

GLint CurrentProgram()
{
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

class GlslTest : public GlWindowTest {
protected:
    void SetUp() override { OpenWindow(64, 64); }
    int Build(const char* vertex, const char* fragment, std::string* log = nullptr)
    {
        zorProgramSources sources = {vertex, fragment};
        testing::internal::CaptureStdout();
        device.Command(COMMAND_BUILD_PROGRAM, 0, &sources, 0);
        const std::string text = testing::internal::GetCapturedStdout();
        if (log)
            *log = text;
        int program = -1;
        device.GetValue(VALUE_PROGRAM, nullptr, &program);
        return program;
    }
    bool Active() const { return g_deviceState.shaderState->active; }
    // Without GLSL, building only clears active, logs nothing and builds nothing; using a
    // program does nothing, and the uniform and attribute ops find active false.
    void ExpectGlslOpsToDoNothing(const char* fragment)
    {
        g_deviceState.shaderState->active = true;
        std::string log;
        EXPECT_EQ(Build(kVertexSource, fragment, &log), 0);
        EXPECT_EQ(log, "");
        EXPECT_FALSE(Active());
        int name = 3;
        device.Command(COMMAND_USE_PROGRAM, 0, &name, 0);
        EXPECT_FALSE(Active());
        const float value = 1;
        zorUniformData uniform = {"level", &value, 1, UNIFORM_FLOAT};
        device.Command(COMMAND_SET_UNIFORM, 0, &uniform, 0);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

}  // namespace

TEST_F(GlslTest, TheDriverSettingDecidesGlsl)
{
    EXPECT_EQ(glCreateShader == nullptr, FixedFunctionDriver());
}

TEST_F(GlslTest, TheDeviceProgramDrawsWithItsUniformsAndAttribute)
{
    if (FixedFunctionDriver()) {
        ExpectGlslOpsToDoNothing(kFragmentSource);
        return;
    }
    std::string log;
    const int program = Build(kVertexSource, kFragmentSource, &log);
    EXPECT_EQ(log, "");
    ASSERT_NE(program, 0);
    EXPECT_TRUE(glIsProgram(GLuint(program)));
    EXPECT_EQ(CurrentProgram(), program);
    EXPECT_TRUE(Active());

    const float levels[2] = {0.25f, 1.0f};
    zorUniformData levelUniform = {"level", levels, 2, UNIFORM_FLOAT};
    device.Command(COMMAND_SET_UNIFORM, 0, &levelUniform, 0);
    const int pick = 1;
    zorUniformData pickUniform = {"pick", &pick, 1, UNIFORM_INT};
    device.Command(COMMAND_SET_UNIFORM, 0, &pickUniform, 0);
    // A matrix upload takes one matrix whatever the count says.
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    zorUniformData extraUniform = {"extra", identity, 5, UNIFORM_MATRIX4};
    device.Command(COMMAND_SET_UNIFORM, 0, &extraUniform, 0);
    float gotLevels[2] = {};
    const GLuint id = GLuint(program);
    glGetUniformfv(id, glGetUniformLocation(id, "level[1]"), &gotLevels[1]);
    glGetUniformfv(id, glGetUniformLocation(id, "level"), &gotLevels[0]);
    EXPECT_FLOAT_EQ(gotLevels[0], 0.25f);
    EXPECT_FLOAT_EQ(gotLevels[1], 1.0f);
    float gotMatrix[16] = {};
    glGetUniformfv(GLuint(program), glGetUniformLocation(GLuint(program), "extra"), gotMatrix);
    EXPECT_EQ(0, std::memcmp(gotMatrix, identity, sizeof(identity)));

    // The attribute shifts the drawing 8 pixels right.
    const float shifts[12] = {8, 0, 0, 8, 0, 0, 8, 0, 0, 8, 0, 0};
    zorAttributeData attribute = {"shift", shifts};
    device.Command(COMMAND_SET_ATTRIBUTE, 0, &attribute, 0);
    const GLint location = glGetAttribLocation(GLuint(program), "shift");
    GLint enabled = 0;
    glGetVertexAttribiv(GLuint(location), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &enabled);
    EXPECT_EQ(enabled, 1);

    device.Set2D(0, 0, nullptr);
    device.ClearColor(0, 0, 0, 1);
    device.SetRenderState(RENDER_BLEND, BLEND_REPLACE);
    device.FillRect(0, 0, 16, 16);
    glDisableVertexAttribArray(GLuint(location));
    const Frame frame(device, 64, 64);
    EXPECT_EQ(frame.At(10, 4), (Rgb{255, 0, 0})) << "level[pick] = 1 draws red";
    EXPECT_EQ(frame.At(4, 4), (Rgb{0, 0, 0})) << "shifted right by 8";
    EXPECT_EQ(frame.Count({255, 0, 0}), 16 * 16);

    // Using program 0 stops the program and the uniform ops; using the name resumes them.
    int zero = 0;
    device.Command(COMMAND_USE_PROGRAM, 0, &zero, 0);
    EXPECT_EQ(CurrentProgram(), 0);
    EXPECT_FALSE(Active());
    const float other[2] = {0.5f, 0.5f};
    levelUniform.values = other;
    device.Command(COMMAND_SET_UNIFORM, 0, &levelUniform, 0);
    glGetUniformfv(GLuint(program), glGetUniformLocation(GLuint(program), "level"), gotLevels);
    EXPECT_FLOAT_EQ(gotLevels[0], 0.25f) << "inactive: no upload";
    int name = program;
    device.Command(COMMAND_USE_PROGRAM, 0, &name, 0);
    EXPECT_EQ(CurrentProgram(), program);
    EXPECT_TRUE(Active());
    device.Command(COMMAND_DEACTIVATE_PROGRAM, 0, nullptr, 0);
    EXPECT_FALSE(Active());
    EXPECT_EQ(CurrentProgram(), program) << "deactivating makes no GL call";

    // Unknown types and names are skipped.
    device.Command(COMMAND_USE_PROGRAM, 0, &name, 0);
    zorUniformData unknown = {"level", other, 2, 9};
    device.Command(COMMAND_SET_UNIFORM, 0, &unknown, 0);
    zorAttributeData missing = {"nothing", shifts};
    device.Command(COMMAND_SET_ATTRIBUTE, 0, &missing, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    device.Command(COMMAND_USE_PROGRAM, 0, &zero, 0);
}

TEST_F(GlslTest, BuildFailuresAreLoggedAndLeaveTheProgramActive)
{
    if (FixedFunctionDriver()) {
        ExpectGlslOpsToDoNothing(kBrokenFragmentSource);
        return;
    }
    const int first = Build(kVertexSource, kFragmentSource);
    std::string log;
    const int second = Build(kVertexSource, kBrokenFragmentSource, &log);
    EXPECT_EQ(CountOf(log, "GL_SHADER: "), 1) << log;
    EXPECT_LE(CountOf(log, "GL_PROGRAM: "), 1) << log;
    EXPECT_EQ(log.rfind("[", 0), 0u) << "device lines carry no source name";
    EXPECT_NE(second, 0);
    EXPECT_NE(second, first);
    // The earlier program is let go; GL keeps it while it is still the one in use.
    GLint deleted = GL_FALSE;
    glGetProgramiv(GLuint(first), GL_DELETE_STATUS, &deleted);
    EXPECT_EQ(deleted, GL_TRUE);
    EXPECT_TRUE(Active());
    // The unlinked program is neither used nor asked for locations: no GL error is left.
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const float value = 1;
    zorUniformData uniform = {"level", &value, 1, UNIFORM_FLOAT};
    device.Command(COMMAND_SET_UNIFORM, 0, &uniform, 0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    glUseProgram(0);
}

TEST_F(GlslTest, ShutdownDeletesTheDeviceProgram)
{
    const int program = Build(kVertexSource, kFragmentSource);
    device.Shutdown();
    ASSERT_EQ(device.Initialize(window, 0, 0), 0);  // the context current again, to ask GL
    if (!FixedFunctionDriver()) {
        ASSERT_NE(program, 0);
        EXPECT_FALSE(glIsProgram(GLuint(program)));
    }
    int now = -1;
    device.GetValue(VALUE_PROGRAM, nullptr, &now);
    EXPECT_EQ(now, 0);
}
