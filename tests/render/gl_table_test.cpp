#include "platform/null/gl_library_null.h"
#include "render/gl_recorder.h"
#include "render/gl_table.h"

#include <gtest/gtest.h>

namespace {

GLenum lastEnabled = 0;
void MGL_APIENTRY FakeEnable(GLenum cap) { lastEnabled = cap; }
void MGL_APIENTRY FakeLock(GLint, GLsizei) {}

class GLTableTest : public ::testing::Test {
protected:
    void TearDown() override { GL_ClearEntryPoints(); }
    platform::NullGLLibrary library;
};

TEST_F(GLTableTest, LoadsEntriesByNameAndLeavesMissingOnesEmpty) {
    library.Available.insert("libGL.so.1");
    library.Symbols["glEnable"] = reinterpret_cast<void*>(&FakeEnable);
    ASSERT_TRUE(library.Load("libGL.so.1"));

    EXPECT_EQ(GL_LoadCoreEntryPoints(library), 1);
    ASSERT_NE(gl.Enable, nullptr);
    EXPECT_EQ(gl.Disable, nullptr);
    gl.Enable(GL_CULL_FACE);
    EXPECT_EQ(lastEnabled, GL_CULL_FACE);
}

TEST_F(GLTableTest, ExtensionsComeFromTheExtensionLookupOnly) {
    library.Available.insert("libGL.so.1");
    library.Symbols["glLockArraysEXT"] = reinterpret_cast<void*>(&FakeLock);
    library.ExtensionSymbols["glUnlockArraysEXT"] = reinterpret_cast<void*>(&FakeLock);
    ASSERT_TRUE(library.Load("libGL.so.1"));
    GL_LoadCoreEntryPoints(library);
    EXPECT_EQ(gl.LockArraysEXT, nullptr) << "core loading must not touch extension entries";
    GL_LoadExtensionEntryPoints(library);
    EXPECT_EQ(gl.LockArraysEXT, nullptr);
    EXPECT_NE(gl.UnlockArraysEXT, nullptr);
}

TEST_F(GLTableTest, ClearEmptiesEveryEntry) {
    library.Available.insert("x");
    library.Symbols["glEnable"] = reinterpret_cast<void*>(&FakeEnable);
    library.ExtensionSymbols["glUnlockArraysEXT"] = reinterpret_cast<void*>(&FakeLock);
    library.Load("x");
    GL_LoadCoreEntryPoints(library);
    GL_LoadExtensionEntryPoints(library);
    GL_ClearEntryPoints();
    EXPECT_EQ(gl.Enable, nullptr);
    EXPECT_EQ(gl.UnlockArraysEXT, nullptr);
}

TEST_F(GLTableTest, UnloadedLibraryGivesNothing) {
    library.Symbols["glEnable"] = reinterpret_cast<void*>(&FakeEnable);
    EXPECT_FALSE(library.Load("missing.so"));
    EXPECT_EQ(GL_LoadCoreEntryPoints(library), 0);
}

TEST(GLRecorderTest, RecordsCallsAndAnswersQueries) {
    TGLTable before = gl;
    {
        TGLRecorder rec;
        rec.Strings[GL_VENDOR] = "Test Vendor";
        rec.Integers[GL_MAX_TEXTURE_SIZE] = 2048;

        gl.Enable(GL_CULL_FACE);
        gl.Translatef(1.5f, 2, 3);
        GLuint names[2] = {};
        gl.GenTextures(2, names);
        GLint size = 0;
        gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &size);

        EXPECT_TRUE(rec.Has("glEnable", {GL_CULL_FACE}));
        EXPECT_FALSE(rec.Has("glEnable", {GL_BLEND}));
        EXPECT_TRUE(rec.Has("glTranslatef", {1.5, 2, 3}));
        EXPECT_EQ(names[0], 1u);
        EXPECT_EQ(names[1], 2u);
        EXPECT_EQ(size, 2048);
        EXPECT_STREQ(reinterpret_cast<const char*>(gl.GetString(GL_VENDOR)), "Test Vendor");
        EXPECT_EQ(gl.GetString(GL_RENDERER), nullptr);
        EXPECT_EQ(rec.Count("glGenTextures"), 1);
        EXPECT_EQ(gl.GenLists(3), 1u);
        EXPECT_EQ(gl.GenLists(1), 4u);
    }
    EXPECT_EQ(gl.Enable, before.Enable) << "the previous table returns when the recorder goes";
}

TEST(GLRecorderTest, CanPretendTheExtensionsAreMissing) {
    TGLRecorder rec;
    rec.Extensions = false;
    rec.Install();
    EXPECT_EQ(gl.ActiveTextureARB, nullptr);
    EXPECT_EQ(gl.LockArraysEXT, nullptr);
    EXPECT_NE(gl.Enable, nullptr);
}

}  // namespace

namespace {

// Every core name we list must exist in the real library: a typo in the
// entry-point list would otherwise surface only on a user's machine.
TEST(SystemGLLibraryTest, ExportsEveryCoreEntryPoint) {
    platform::IGLLibrary& library = platform::SystemGLLibrary();
    ASSERT_TRUE(library.Load(platform::GLLibraryFileName(false)))
        << platform::GLLibraryFileName(false) << " is installed by build.sh";
    int expected = 0;
#define MGL_COUNT(ret, name, params, args) ++expected;
    MGL_CORE_FUNCTIONS(MGL_COUNT)
#undef MGL_COUNT
    EXPECT_EQ(GL_LoadCoreEntryPoints(library), expected);
    GL_ClearEntryPoints();
    library.Unload();
    EXPECT_FALSE(library.IsLoaded());
}

}  // namespace
