// Tests of the OpenGL device: mode search, queries, display mode, driver log, read-back, error check.
#include <GL/glew.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define dup2 _dup2
#else
#include <unistd.h>
#endif

#include "device/device_state.h"
#include "device/graphics.h"
#include "device/gl_error.h"
#include "foundation/log.h"
#include "gl_window.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// The message part of a log line "<source>[<line>]: <message>".
std::string MessageOf(const std::string& line)
{
    const size_t at = line.find("]: ");
    return at == std::string::npos ? line : line.substr(at + 3);
}

}  // namespace

TEST(FindDisplayModeTest, ChoosesTheSmallestFittingModeOfTheRightShape)
{
    const std::vector<DisplayMode> usual = {{640, 480}, {800, 600}, {1024, 768}, {600, 800}};
    struct Row {
        const char* what;
        std::vector<DisplayMode> modes;
        int minWidth, minHeight;
        bool matchAspect;
        int aspectWidth, aspectHeight;
        bool found;
        int width, height;
    } rows[] = {
        {"landscape, exact fit", usual, 800, 600, false, 1280, 1024, true, 800, 600},
        {"portrait mode skipped on a landscape screen", usual, 600, 700, false, 1280, 1024, true,
         1024, 768},
        {"portrait screen takes the portrait mode", usual, 600, 700, false, 768, 1024, true, 600,
         800},
        {"nothing large enough", usual, 2000, 2000, false, 1280, 1024, false, 0, 0},
        {"no modes at all", {}, 0, 0, false, 1280, 1024, false, 0, 0},
        {"exact aspect 4:3", usual, 700, 500, true, 4, 3, true, 800, 600},
        {"exact aspect 16:9 absent", usual, 0, 0, true, 16, 9, false, 0, 0},
        {"equal areas: the first listed stays", {{960, 600}, {800, 720}}, 0, 0, false, 4, 3, true,
         960, 600},
        {"square modes pass a portrait screen", {{1024, 1024}, {1280, 1024}}, 0, 0, false, 3, 4,
         true, 1024, 1024},
        {"a later smaller mode replaces", {{1280, 1024}, {1024, 768}, {1280, 1024}}, 0, 0, false,
         4, 3, true, 1024, 768},
    };
    for (const Row& row : rows) {
        int width = -1, height = -1;
        EXPECT_EQ(FindDisplayMode(row.modes, row.minWidth, row.minHeight, row.matchAspect,
                                  row.aspectWidth, row.aspectHeight, &width, &height),
                  row.found)
            << row.what;
        if (row.found) {
            EXPECT_EQ(width, row.width) << row.what;
            EXPECT_EQ(height, row.height) << row.what;
        } else {
            EXPECT_EQ(width, -1) << row.what;  // outputs untouched
        }
    }
    EXPECT_TRUE(FindDisplayMode(usual, 0, 0, false, 4, 3, nullptr, nullptr));
}

TEST(LogExtensionNamesTest, SplitsAtWhiteSpaceAndCutsLongNames)
{
    const std::string longName(300, 'x');
    struct Row {
        const char* what;
        const char* text;
        std::vector<std::string> names;
    } rows[] = {
        {"three names", "GL_A GL_B GL_C", {"GL_A", "GL_B", "GL_C"}},
        {"trailing space", "GL_A GL_B GL_C ", {"GL_A", "GL_B", "GL_C"}},
        {"tabs and line feeds", "GL_A\tGL_B\n", {"GL_A", "GL_B"}},
        {"empty text", "", {}},
        {"no text", nullptr, {""}},
        {"a name longer than the buffer", longName.c_str(), {std::string(255, 'x')}},
    };
    for (const Row& row : rows) {
        testing::internal::CaptureStdout();
        LogExtensionNames(row.text);
        const std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
        ASSERT_EQ(lines.size(), row.names.size()) << row.what;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind("[", 0), 0u) << "device lines carry no source name";
            EXPECT_EQ(MessageOf(lines[i]), "GL_EXTENSIONS: " + row.names[i]) << row.what;
        }
    }
}

TEST(DeviceWithoutWindowTest, RecordsTheSizeAndReportsGlew)
{
    zorOpenGL device;
    testing::internal::CaptureStdout();
    EXPECT_EQ(device.Initialize(nullptr, 320, 200), 0);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("GLEW: "), std::string::npos) << log;
    EXPECT_TRUE(device.IsReady());
    int size[2] = {0, 0};
    EXPECT_TRUE(device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size));
    EXPECT_EQ(size[0], 320);
    EXPECT_EQ(size[1], 200);

    testing::internal::CaptureStdout();
    EXPECT_EQ(device.Initialize(nullptr, 0, 0), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(device.IsReady());
    // No window: a full-screen switch is refused and nothing changes.
    EXPECT_EQ(device.SetDisplayMode(800, 600, 1), -1);
    EXPECT_TRUE(device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size));
    EXPECT_EQ(size[0], 0);
    device.Shutdown();
}

class DeviceTest : public GlWindowTest {};

TEST_F(DeviceTest, InitializeTakesTheClientSizeAndCanBeRepeated)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(640, 480));
    for (int code : {VALUE_DRAWABLE_SIZE, VALUE_TARGET_SIZE}) {
        int size[2] = {0, 0};
        EXPECT_TRUE(device.GetValue(code, nullptr, size));
        EXPECT_EQ(size[0], 640);
        EXPECT_EQ(size[1], 480);
    }
    EXPECT_TRUE(device.IsReady());
    // A second initialisation lets go of the first and works again.
    g_deviceState.textureTable->slots.resize(4);
    ASSERT_EQ(device.Initialize(window, 0, 0), 0);
    EXPECT_TRUE(g_deviceState.textureTable->slots.empty());
    EXPECT_NE(glGetString(GL_VERSION), nullptr);
    EXPECT_TRUE(glIsEnabled(GL_BLEND)) << "default state applied";
}

TEST_F(DeviceTest, GetValueAnswersEveryCodeOfItsTable)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 48));
    ASSERT_EQ(device.SetDisplayMode(320, 200, 0), 0);
    int pair[2] = {0, 0};
    ASSERT_TRUE(device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, pair));
    EXPECT_EQ(pair[0], 320);
    EXPECT_EQ(pair[1], 200);
    ASSERT_TRUE(device.GetValue(VALUE_TARGET_SIZE, nullptr, pair));
    EXPECT_EQ(pair[0], 320);

    glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
    float colour[4] = {};
    ASSERT_TRUE(device.GetValue(VALUE_CURRENT_COLOR, nullptr, colour));
    EXPECT_FLOAT_EQ(colour[0], 0.25f);
    EXPECT_FLOAT_EQ(colour[2], 0.75f);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 10, 0, 10, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 0, 0);
    const float point[3] = {4, 10, 0};
    float clip[2] = {};
    ASSERT_TRUE(device.GetValue(VALUE_PROJECTED_POINT, point, clip));
    EXPECT_FLOAT_EQ(clip[0], 0.0f);  // x 5 is the middle of 0..10
    EXPECT_FLOAT_EQ(clip[1], 1.0f);
    float after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    EXPECT_FLOAT_EQ(after[12], 1.0f) << "the model-view matrix is left as it was";

    TextureTable& table = *g_deviceState.textureTable;
    table.slots.resize(10);
    table.slots[5].reset(new TextureRecord());
    table.slots[5]->name = 77;
    struct IntRow {
        int code;
        int input;
        int value;
    } rows[] = {
        {VALUE_TEXTURE_NAME, 5, 77},
        {VALUE_TEXTURE_NAME, 3, 0},
        {VALUE_TEXTURE_NAME, 12, 0},
        {VALUE_TEXTURE_NAME, -1, 0},
        {VALUE_FREE_TEXTURE_INDEX, 0, 10},
        {VALUE_FREE_TEXTURE_INDEX, 5, 10},
        {VALUE_FREE_TEXTURE_INDEX, 20, 20},
        {VALUE_ZERO, 0, 0},
        {VALUE_FILTER_MODE, 0, 0},
        {VALUE_FULL_SCREEN, 0, 0},
        {VALUE_TARGET_OPEN, 0, 0},
        {VALUE_HAS_FRAMEBUFFERS, 0, 1},
        {VALUE_PROGRAM, 0, 0},
    };
    for (const IntRow& row : rows) {
        int value = -5;
        EXPECT_TRUE(device.GetValue(row.code, &row.input, &value)) << "code " << row.code;
        EXPECT_EQ(value, row.value) << "code " << row.code << " input " << row.input;
    }
    table.slots.clear();
    int value = -5;
    const int zero = 0;
    ASSERT_TRUE(device.GetValue(VALUE_FREE_TEXTURE_INDEX, &zero, &value));
    EXPECT_EQ(value, 1) << "empty table, n = 0";

    g_deviceState.renderTargetStack->indexes.push_back(3);
    g_deviceState.shaderState->program = 9;
    g_deviceState.filterMode = 1;
    for (auto [code, expected] : {std::pair<int, int>{VALUE_TARGET_OPEN, 1}, {VALUE_PROGRAM, 9},
                                        {VALUE_FILTER_MODE, 1}}) {
        ASSERT_TRUE(device.GetValue(code, nullptr, &value));
        EXPECT_EQ(value, expected) << "code " << code;
    }
    g_deviceState.renderTargetStack->indexes.clear();

    // Codes without a meaning.
    for (int code : {5, 10, 11, 15, 100, -1}) {
        int untouched[2] = {-7, -7};
        EXPECT_FALSE(device.GetValue(code, &zero, untouched)) << "code " << code;
        EXPECT_EQ(untouched[0], -7) << "code " << code;
    }
    EXPECT_FALSE(device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, nullptr));
}

TEST_F(DeviceTest, SetDisplayModeRecordsSizesAndSwitchesFullScreen)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(64, 48));
    int size[2] = {0, 0}, full = -1;

    glDisable(GL_BLEND);
    EXPECT_EQ(device.SetDisplayMode(-1, -1, -1), 0);
    device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    EXPECT_EQ(size[0], 64);
    EXPECT_EQ(size[1], 48);
    device.GetValue(VALUE_FULL_SCREEN, nullptr, &full);
    EXPECT_EQ(full, 0);
    EXPECT_TRUE(glIsEnabled(GL_BLEND)) << "the default state is applied again";

    EXPECT_EQ(device.SetDisplayMode(800, 600, 0), 0);
    device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    EXPECT_EQ(size[0], 800);
    EXPECT_EQ(size[1], 600);
    EXPECT_EQ(device.SetDisplayMode(-1, 300, 0), 0);
    device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    EXPECT_EQ(size[0], 800);
    EXPECT_EQ(size[1], 300);

    // Full screen on the virtual display's monitor, then back to a window.
    ASSERT_EQ(device.SetDisplayMode(800, 600, 1), 0);
    device.GetValue(VALUE_FULL_SCREEN, nullptr, &full);
    EXPECT_EQ(full, 1);
    device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    EXPECT_GE(size[0], 800);
    EXPECT_GE(size[1], 600);
    EXPECT_GE(size[0], size[1]) << "a landscape mode on a landscape screen";
    EXPECT_EQ(device.SetDisplayMode(-1, -1, -1), 0);
    device.GetValue(VALUE_FULL_SCREEN, nullptr, &full);
    EXPECT_EQ(full, 1) << "a negative argument keeps full screen";

    ASSERT_EQ(device.SetDisplayMode(640, 480, 0), 0);
    device.GetValue(VALUE_FULL_SCREEN, nullptr, &full);
    EXPECT_EQ(full, 0);
    device.GetValue(VALUE_DRAWABLE_SIZE, nullptr, size);
    EXPECT_EQ(size[0], 640);
    EXPECT_EQ(size[1], 480);
}

TEST_F(DeviceTest, LogDriverInfoWritesTheIdentityLinesInOrder)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(32, 32));
    testing::internal::CaptureStdout();
    const int error = device.LogDriverInfo();
    const std::vector<std::string> lines = Lines(testing::internal::GetCapturedStdout());
    EXPECT_EQ(error, 0);
    const char* const heads[] = {"GLEW_VERSION: ", "GL_SHADING_LANGUAGE_VERSION: ", "GL_VENDOR: ",
                                 "GL_RENDERER: ", "GL_VERSION: "};
    ASSERT_GT(lines.size(), 6u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(lines[i].rfind("[", 0), 0u) << lines[i];
        EXPECT_EQ(MessageOf(lines[i]).rfind(heads[i], 0), 0u) << lines[i];
    }
    EXPECT_EQ(MessageOf(lines[0]), std::string("GLEW_VERSION: ") +
                                       reinterpret_cast<const char*>(glewGetString(GLEW_VERSION)));
    EXPECT_EQ(MessageOf(lines[4]),
              std::string("GL_VERSION: ") + reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    size_t extensions = 0;
    for (size_t i = 5; i < lines.size(); ++i) {
        const std::string message = MessageOf(lines[i]);
#ifdef _WIN32
        // Wine's opengl32 appends its WGL names after two spaces; the second
        // space ends an empty name, which is logged as every other one.
        if (message == "GL_EXTENSIONS: " || message.rfind("GL_EXTENSIONS: WGL_", 0) == 0)
            continue;
#endif
        EXPECT_EQ(message.rfind("GL_EXTENSIONS: GL", 0), 0u) << lines[i];
        EXPECT_EQ(message.find(' ', 15), std::string::npos) << "one name per line: " << lines[i];
        ++extensions;
    }
    EXPECT_GT(extensions, 10u);
}

TEST_F(DeviceTest, ReadPixelsGivesTopDownRowsOfATinyDrawable)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(32, 32));
    ASSERT_EQ(device.SetDisplayMode(3, 2, 0), 0);
    // Each pixel of the 3 x 2 corner gets its own colour; GL's row 0 is the bottom one.
    glEnable(GL_SCISSOR_TEST);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            glScissor(x, y, 1, 1);
            glClearColor((x * 40 + 10) / 255.0f, (y * 100 + 20) / 255.0f, 200 / 255.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    uint8_t pixels[18 + 4];
    std::memset(pixels, 0xAB, sizeof(pixels));
    device.ReadPixels(pixels, 18, 0);
    for (int row = 0; row < 2; ++row) {
        const int glRow = 1 - row;
        for (int x = 0; x < 3; ++x) {
            const uint8_t* p = pixels + row * 9 + x * 3;
            EXPECT_EQ(p[0], x * 40 + 10) << "row " << row << " x " << x;
            EXPECT_EQ(p[1], glRow * 100 + 20) << "row " << row << " x " << x;
            EXPECT_EQ(p[2], 200);
        }
    }
    EXPECT_EQ(pixels[18], 0xAB) << "nothing written past width x height x 3";

    // A destination said to be too small is refused.
    uint8_t small[18];
    std::memset(small, 0xAB, sizeof(small));
    device.ReadPixels(small, 17, 0);
    for (uint8_t b : small)
        EXPECT_EQ(b, 0xAB);
}

TEST_F(DeviceTest, ReadPixelsReadsAClearedAndScissoredFrame)
{
    ASSERT_NO_FATAL_FAILURE(OpenWindow(40, 30));
    device.BeginFrame();
    glClearColor(0.3f, 0.3f, 0.3f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    // A red block in the bottom-left corner, 10 x 5 pixels.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 10, 5);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    std::vector<uint8_t> frame(40 * 30 * 3);
    device.ReadPixels(frame.data(), int(frame.size()), 0);
    device.EndFrame();
    auto pixel = [&](int x, int row) { return frame.data() + (row * 40 + x) * 3; };
    EXPECT_NEAR(pixel(0, 0)[0], 77, 1) << "top-left is grey";
    EXPECT_NEAR(pixel(39, 29)[1], 77, 1) << "bottom-right is grey";
    EXPECT_EQ(pixel(0, 29)[0], 255) << "bottom-left is red";
    EXPECT_EQ(pixel(0, 29)[1], 0);
    EXPECT_EQ(pixel(9, 25)[0], 255) << "top-right pixel of the block";
    EXPECT_NEAR(pixel(9, 24)[0], 77, 1) << "just above the block";
    EXPECT_NEAR(pixel(10, 29)[0], 77, 1) << "just right of the block";
}

TEST(CheckGlErrorDeathTest, AGlErrorEndsTheProcessWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // The log goes to standard output; the death test reads standard error.
            dup2(2, 1);
            WindowHandle window = CreateAppWindow();
            if (!window)
                _exit(3);
            zorOpenGL device;
            if (device.Initialize(window, 0, 0) != 0)
                _exit(4);
            CHECK_GL_ERROR("src/app");  // nothing pending: goes on
            glEnable(0x7FFF);           // not a capability: GL_INVALID_ENUM
            CHECK_GL_ERROR("src/app");
            _exit(5);
        },
        testing::ExitedWithCode(1),
#ifdef GTEST_USES_SIMPLE_RE  // GoogleTest's own expressions on Windows: no brackets
        R"(src/app\[\d+\]: glGetError\(\) returns: 1280 \(0x500\))");
#else
        R"(src/app\[[0-9]+\]: glGetError\(\) returns: 1280 \(0x500\))");
#endif
}
