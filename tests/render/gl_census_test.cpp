#include "render/gl_census.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"

#include <gtest/gtest.h>

namespace {

// What a long run reads: made minus freed, whatever the driver answered, and
// still right after the table was loaded again and the count restarted.
TEST(GLCensus, CountsWhatIsMadeAndFreedAndSurvivesARestart) {
    TGLRecorder rec;
    const TGLCensus before = GL_Census();
    GL_StartCensus();
    ASSERT_TRUE(GL_CensusStarted());

    GLuint textures[3] = {};
    gl.GenTextures(3, textures);
    const GLuint freed[3] = {textures[0], 0, textures[2]};  // name 0 is no texture
    gl.DeleteTextures(3, freed);
    const GLuint lists = gl.GenLists(4);
    EXPECT_EQ(gl.GenLists(0), 0u) << "a failed request makes nothing";
    gl.DeleteLists(lists, 2);

    // The table reloaded (a new context) and the count started again: no
    // call counted twice, every call still reaches GL.
    rec.Install();
    GL_StartCensus();
    GL_StartCensus();
    gl.GenTextures(1, textures);
    gl.DeleteLists(0, 5);  // list 0 is none

    const TGLCensus after = GL_Census();
    EXPECT_EQ(after.Textures - before.Textures, 3 - 2 + 1);
    EXPECT_EQ(after.Lists - before.Lists, 4 - 2);
    EXPECT_EQ(rec.Count("glGenTextures"), 2);
    EXPECT_EQ(rec.Count("glDeleteLists"), 2);
}

}  // namespace
