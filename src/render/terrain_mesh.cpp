// Terrain mesh emission.
#include "render/terrain_mesh.h"

#include "state/viewer_state.h"

#include <GL/gl.h>

#include <cmath>
#include <cstddef>
#include <vector>

float shadingDivisor(int maxIterations)
{
    return static_cast<float>(std::sqrt(static_cast<double>(maxIterations)));
}

float vertexGrey(int height, int maxIterations, float divisor, int shadingMode, bool colorsInverted)
{
    const double h = height;
    const double cap = maxIterations;
    const double s = divisor;
    double grey = 0.0;
    switch (shadingMode) {
    case SHADE_LINEAR:
        grey = colorsInverted ? 1.0 - h / cap : h / cap;
        break;
    case SHADE_SQRT:
        grey = colorsInverted ? 1.0 - std::sqrt(h) / s : std::sqrt(h) / s;
        break;
    default: {
        const double fromCap = std::sqrt(static_cast<double>(maxIterations - height)) / s;
        grey = colorsInverted ? fromCap : 1.0 - fromCap;
        break;
    }
    }
    return static_cast<float>(grey);
}

float vertexHeight(int height)
{
    return static_cast<float>(HEIGHT_SCALE * height);
}

namespace {

// Everything of one shading that the walk needs, worked out once per call so
// that no square root, division or product is formed per vertex.
struct MeshShading {
    std::vector<float> greyOfHeight; // indexed by height, 0..maxIterations
    std::vector<float> yOfHeight;
    double pairNearZ;  // offset from the row of a strip vertex pair's near z
    double pairFarZ;
    double quadFarEndNearZ; // offsets of a quad's corners 4 and 3
    double quadFarEndFarZ;
};

// The inverted linear shading overlaps neighbouring strips by 0.02 so that its
// rows show no cracks, and then needs no margin at the far end of its quads.
MeshShading shadingFor(const ViewerState& state, int shadingMode, bool colorsInverted)
{
    const int cap = state.maxIterations;
    const float divisor = shadingMode == SHADE_LINEAR ? 0.0f : shadingDivisor(cap);
    MeshShading shading;
    shading.greyOfHeight.resize(static_cast<std::size_t>(cap) + 1);
    shading.yOfHeight.resize(static_cast<std::size_t>(cap) + 1);
    for (int h = 0; h <= cap; ++h) {
        shading.greyOfHeight[static_cast<std::size_t>(h)] = vertexGrey(h, cap, divisor, shadingMode, colorsInverted);
        shading.yOfHeight[static_cast<std::size_t>(h)] = vertexHeight(h);
    }
    const bool overlapping = shadingMode == SHADE_LINEAR && colorsInverted;
    shading.pairNearZ = overlapping ? -0.01 : 0.0;
    shading.pairFarZ = overlapping ? 1.01 : 1.0;
    shading.quadFarEndNearZ = overlapping ? 0.0 : -0.02;
    shading.quadFarEndFarZ = overlapping ? 1.0 : 1.02;
    return shading;
}

void emitVertex(const MeshShading& shading, std::uint16_t height, float x, float z)
{
    const float grey = shading.greyOfHeight[height];
    glColor3f(grey, grey, grey);
    glVertex3f(x, shading.yOfHeight[height], z);
}

// One strip row's z values, rounded once per row.
struct RowDepths {
    float pairNear, pairFar;   // the shading's vertex pair
    float closeNear, closeFar; // the pair that closes a strip before a run
    float quadNear, quadFar;   // a quad's corners 1 and 2
    float quadEndFar, quadEndNear; // a quad's corners 3 and 4
};

RowDepths rowDepths(const MeshShading& shading, std::size_t row)
{
    const double i = static_cast<double>(row);
    return RowDepths{
        static_cast<float>(i + shading.pairNearZ), static_cast<float>(i + shading.pairFarZ),
        static_cast<float>(i), static_cast<float>(i + 1.0),
        static_cast<float>(i - 0.02), static_cast<float>(i + 1.02),
        static_cast<float>(i + shading.quadFarEndFarZ), static_cast<float>(i + shading.quadFarEndNearZ),
    };
}

// Draws the flat run that starts at column `start` as one quad, after
// closing the current strip, and opens the strip that follows it. Returns the
// column where the run ends.
std::size_t emitFlatRun(const MeshShading& shading, const RowDepths& z, const std::uint16_t* top,
                        const std::uint16_t* bottom, const std::uint8_t* flags, std::size_t start,
                        std::size_t n)
{
    const float x0 = static_cast<float>(start);
    emitVertex(shading, top[start], x0, z.closeNear);
    emitVertex(shading, bottom[start], x0, z.closeFar);
    glEnd();
    glBegin(GL_QUADS);
    const float grey = shading.greyOfHeight[top[start]];
    const float y = shading.yOfHeight[top[start]];
    glColor3f(grey, grey, grey);
    const float nearX = static_cast<float>(static_cast<double>(start) - 0.02);
    glVertex3f(nearX, y, z.quadNear);
    glVertex3f(nearX, y, z.quadFar);
    std::size_t end = start;
    while (end < n && flags[end] == 1) {
        ++end;
    }
    const float farX = static_cast<float>(static_cast<double>(end) + 0.02);
    glVertex3f(farX, y, z.quadEndFar);
    glVertex3f(farX, y, z.quadEndNear);
    glEnd();
    glBegin(GL_TRIANGLE_STRIP);
    return end;
}

} // namespace

void drawTerrain(const ViewerState& state, int shadingMode, bool colorsInverted)
{
    const MeshShading shading = shadingFor(state, shadingMode, colorsInverted);
    const std::size_t n = static_cast<std::size_t>(state.gridSize);
    if (n < 2) {
        return;
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const std::uint16_t* top = state.heights.values.get() + i * n;
        const std::uint16_t* bottom = top + n;
        const std::uint8_t* flags = state.flatCells.values.get() + i * n;
        const RowDepths z = rowDepths(shading, i);
        glBegin(GL_TRIANGLE_STRIP);
        for (std::size_t j = 0; j < n; ++j) {
            if (flags[j] == 1) {
                j = emitFlatRun(shading, z, top, bottom, flags, j, n);
            }
            const float x = static_cast<float>(j);
            emitVertex(shading, top[j], x, z.pairNear);
            emitVertex(shading, bottom[j], x, z.pairFar);
        }
        glEnd();
    }
}
