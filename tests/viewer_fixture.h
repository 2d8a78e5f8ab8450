// Tests that drive the callbacks work on the one program-wide record; this
// fixture gives each test the defaults back and an empty call log.
#pragma once

#include "gl_recorder.h"
#include "state/viewer_state.h"

#include <gtest/gtest.h>

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        viewer = ViewerState{};
        pauseRecording(false);
        clearRecordedCalls();
    }
    void TearDown() override
    {
        viewer = ViewerState{};
        pauseRecording(false);
        clearRecordedCalls();
    }
};
