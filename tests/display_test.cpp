// The display pass and reshape, seen through the recording GL stand-in.
#include "fractal/height_field.h"
#include "recorded_geometry.h"
#include "render/display.h"
#include "viewer_fixture.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

using DisplayPass = ViewerTest;

void expectCall(const GlCall& call, const char* name, std::vector<double> args)
{
    EXPECT_STREQ(call.name, name);
    ASSERT_EQ(call.argCount, static_cast<int>(args.size())) << name;
    for (std::size_t k = 0; k < args.size(); ++k) {
        EXPECT_EQ(floatBits(call.args[k]), floatBits(args[k])) << name << " argument " << k;
    }
}

void expectCameraAndScale(const std::vector<GlCall>& calls, float scale)
{
    ASSERT_GE(calls.size(), 7u);
    expectCall(calls[0], "glClear", {0x4100});
    expectCall(calls[1], "glLoadIdentity", {});
    expectCall(calls[2], "glRotatef", {viewer.pitch, 1, 0, 0});
    expectCall(calls[3], "glRotatef", {viewer.yaw, 0, 1, 0});
    expectCall(calls[4], "glTranslatef", {viewer.camX, viewer.camY, viewer.camZ});
    expectCall(calls[5], "glScalef", {scale, 3.0f, scale});
}

TEST_F(DisplayPass, FirstPassCompilesTheTerrainWhileDrawingIt)
{
    computeFractal(viewer);
    display();
    const std::vector<GlCall>& calls = recordedCalls();
    expectCameraAndScale(calls, 0.4f);
    expectCall(calls[0], "glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT});
    expectCall(calls[4], "glTranslatef", {0.0f, -6.0f, -0.9f});
    expectCall(calls[6], "glDeleteLists", {1, 1});
    expectCall(calls[7], "glNewList", {1, GL_COMPILE_AND_EXECUTE});
    expectCall(calls[calls.size() - 2], "glEndList", {});
    expectCall(calls.back(), "glutSwapBuffers", {});
    EXPECT_FALSE(viewer.meshDirty);

    // Between glNewList and glEndList there is only the terrain, every primitive closed.
    for (std::size_t k = 8; k + 2 < calls.size(); ++k) {
        const std::string name = calls[k].name;
        ASSERT_TRUE(name == "glBegin" || name == "glEnd" || name == "glColor3f" || name == "glVertex3f") << name;
    }
    for (const RecordedPrimitive& p : recordedPrimitives(8)) {
        ASSERT_NE(p.mode, -1);
    }
    EXPECT_EQ(callCount("glBegin"), 1118u + 991u);
    EXPECT_EQ(callCount("glEnd"), callCount("glBegin"));
}

TEST_F(DisplayPass, CleanPassReplaysTheList)
{
    computeFractal(viewer);
    display();
    clearRecordedCalls();
    display();
    const std::vector<GlCall>& calls = recordedCalls();
    ASSERT_EQ(calls.size(), 8u);
    expectCameraAndScale(calls, 0.4f);
    expectCall(calls[6], "glCallList", {1});
    expectCall(calls[7], "glutSwapBuffers", {});
    EXPECT_FALSE(viewer.meshDirty);
}

TEST_F(DisplayPass, CameraFieldsAndScaleReachTheMatrices)
{
    struct Case {
        int gridSize;
        float scale;
    };
    for (const Case c : {Case{128, 0.4f}, Case{256, 0.2f}, Case{512, 0.1f}, Case{16384, 0.003125f}}) {
        clearRecordedCalls();
        viewer.gridSize = c.gridSize;
        viewer.meshDirty = false;
        viewer.pitch = -37.5f;
        viewer.yaw = 359.5f;
        viewer.camX = 1.25f;
        viewer.camY = -5.9f;
        viewer.camZ = 0.7f;
        display();
        expectCameraAndScale(recordedCalls(), c.scale);
        EXPECT_EQ(terrainScale(c.gridSize), c.scale);
    }
}

TEST_F(DisplayPass, ReshapeSetsViewportAndProjection)
{
    struct Case {
        int width, height;
        double aspect;
    };
    const Case cases[] = {
        {512, 512, 1.0}, {640, 480, 4.0 / 3.0}, {300, 600, 0.5},
        {400, 0, 400.0}, // a minimised window: height 0 counts as 1
        {0, 0, 0.0},
    };
    for (const Case& c : cases) {
        clearRecordedCalls();
        reshape(c.width, c.height);
        const std::vector<GlCall>& calls = recordedCalls();
        ASSERT_EQ(calls.size(), 6u);
        expectCall(calls[0], "glViewport", {0, 0, double(c.width), double(c.height)});
        expectCall(calls[1], "glMatrixMode", {GL_PROJECTION});
        expectCall(calls[2], "glLoadIdentity", {});
        EXPECT_STREQ(calls[3].name, "gluPerspective");
        EXPECT_EQ(calls[3].args[0], 60.0);
        EXPECT_EQ(calls[3].args[1], c.aspect) << c.width << " x " << c.height;
        EXPECT_TRUE(std::isfinite(calls[3].args[1]));
        EXPECT_EQ(calls[3].args[2], 0.01);
        EXPECT_EQ(calls[3].args[3], 30.0);
        expectCall(calls[4], "glMatrixMode", {GL_MODELVIEW});
        expectCall(calls[5], "glLoadIdentity", {});
    }
}

} // namespace
