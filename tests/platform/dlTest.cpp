#include "platform/dl.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <dlfcn.h>
#include <filesystem>

namespace {

// The file the C library's maths functions come from, to have a real library to copy.
std::string MathLibraryFile() {
    Dl_info info{};
    double (*cosine)(double) = &std::cos;
    if (dladdr(reinterpret_cast<void*>(cosine), &info) == 0 || !info.dli_fname) return "";
    return info.dli_fname;
}

TEST(Dl, MissingFileReportsTheLoadersText) {
    TDynamicLibrary library;
    EXPECT_FALSE(library.Load("/nonexistent/folder/nothing.so"));
    EXPECT_FALSE(library.Loaded());
    EXPECT_NE(library.LastError().find("nothing.so"), std::string::npos) << library.LastError();
    EXPECT_EQ(library.Find("anything"), nullptr);
    EXPECT_FALSE(library.LastError().empty());
    EXPECT_FALSE(library.Load(""));
}

TEST(Dl, FindsFunctionsByNameAndReportsMissingOnes) {
    const std::string file = MathLibraryFile();
    ASSERT_FALSE(file.empty());
    TDynamicLibrary library;
    ASSERT_TRUE(library.Load(file)) << library.LastError();
    EXPECT_TRUE(library.Loaded());
    EXPECT_NE(library.Handle(), nullptr);
    auto cosine = library.FindFunction<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.5), std::cos(0.5));
    EXPECT_EQ(library.Find("NoSuchFunctionHere"), nullptr);
    EXPECT_NE(library.LastError().find("NoSuchFunctionHere"), std::string::npos)
        << library.LastError();
    library.Free();
    EXPECT_FALSE(library.Loaded());
}

TEST(Dl, BareNameIsLookedForInTheProgramFolderFirstWithoutRegardToCase) {
    const std::string file = MathLibraryFile();
    ASSERT_FALSE(file.empty());
    TTempProgramFolder folder;
    std::filesystem::create_directory(folder.File("Plugins"));
    std::filesystem::copy_file(file, folder.File("MyCodec.ACM"));
    std::filesystem::copy_file(file, folder.File("Plugins/Other.so"));
    TDynamicLibrary library;
    ASSERT_TRUE(library.Load("mycodec.acm")) << library.LastError();
    EXPECT_NE(library.Find("sin"), nullptr);
    EXPECT_EQ(library.FileName(), "mycodec.acm");
    TDynamicLibrary other;
    ASSERT_TRUE(other.Load("plugins\\OTHER.SO")) << other.LastError();
    EXPECT_FALSE(other.Load("plugins\\missing.so"));
}

TEST(Dl, OwnershipMovesWithTheObject) {
    const std::string file = MathLibraryFile();
    TDynamicLibrary first;
    ASSERT_TRUE(first.Load(file));
    void* handle = first.Handle();
    TDynamicLibrary second(std::move(first));
    EXPECT_FALSE(first.Loaded());
    EXPECT_EQ(second.Handle(), handle);
    TDynamicLibrary third;
    third = std::move(second);
    EXPECT_FALSE(second.Loaded());
    EXPECT_EQ(third.Handle(), handle);
    EXPECT_NE(third.Find("cos"), nullptr);
}

} // namespace
