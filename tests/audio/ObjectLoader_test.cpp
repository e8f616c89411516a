#include "ObjectLoader.h"

#include "SegmentWriter.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

Bytes form(const char* type, std::uint8_t guidByte, const std::string& name = {})
{
    std::vector<Bytes> parts{riffChunk("guid", Bytes(16, guidByte)), riffChunk("data", Bytes(6, guidByte))};
    if (!name.empty()) parts.push_back(riffList("LIST", "INFO", {riffChunk("INAM", Bytes(name.begin(), name.end()))}));
    return riffList("RIFF", type, parts);
}

void save(const fs::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> found(ObjectLoader& loader, const SegmentReference& r)
{
    const Bytes dmrf = writeReference(r);
    const riff::Bytes got = loader.find(riff::Bytes(dmrf).subspan(12)); // past the LIST header and type
    return {got.begin(), got.end()};
}

struct ScratchFolders : ::testing::Test {
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("objects-" + std::to_string(::getpid()));
        fs::create_directories(root / "current");
        fs::create_directories(root / "segment");
        saved = fs::current_path();
        fs::current_path(root / "current");
    }
    void TearDown() override
    {
        fs::current_path(saved);
        fs::remove_all(root);
    }
    fs::path root, saved;
};

} // namespace

TEST_F(ScratchFolders, EmbeddedObjectsComeFirstThenFilesInTheCurrentDirectoryThenBesideTheSegment)
{
    const Bytes embedded = form("WAVE", 0x11, "chime");
    const Bytes container = writeContainer({embedded});
    save(root / "current" / "chime.wav", form("WAVE", 0x22));
    ObjectLoader loader({std::string(), (root / "segment").string()});
    loader.addContainer(riff::Bytes(container).subspan(12));

    // By GUID, even where a file of the name exists; by name when the GUID is not flagged.
    EXPECT_EQ(found(loader, {{}, 0x11, Bytes(16, 0x11), {}, "chime.wav"}), embedded);
    EXPECT_EQ(found(loader, {{}, 0x14, Bytes(16, 0x33), "chime", "chime.wav"}), embedded);
    EXPECT_EQ(found(loader, {{}, 0x10, {}, {}, "CHIME.WAV"}), form("WAVE", 0x22)); // case does not matter

    save(root / "segment" / "Drums!.sty", form("DMST", 0x44));
    save(root / "segment" / "shell.dls", form("DLS ", 0x55));
    EXPECT_EQ(found(loader, {{}, 0x10, {}, {}, "drums!.STY"}), form("DMST", 0x44));
    // A full Windows path counts by its last name only.
    EXPECT_EQ(found(loader, {{}, 0x30, {}, {}, "C:\\Music\\Shell.dls"}), form("DLS ", 0x55));
    // Once loaded, a file answers to its GUID too, as DirectMusic's cache did.
    EXPECT_EQ(found(loader, {{}, 0x1, Bytes(16, 0x55), {}, {}}), form("DLS ", 0x55));
    EXPECT_TRUE(found(loader, {{}, 0x10, {}, {}, "missing.dls"}).empty());
}

TEST_F(ScratchFolders, NamesNeverLeaveTheFoldersNorOpenSpecialFiles)
{
    save(root / "secret.dls", form("DLS ", 0x66));
    fs::create_directories(root / "current" / "sub");
    save(root / "current" / "sub" / "x.dls", form("DLS ", 0x77));
    ASSERT_EQ(::mkfifo((root / "segment" / "pipe.dls").c_str(), 0600), 0);
    ObjectLoader loader({std::string(), (root / "segment").string()});
    for (const char* name : {"../secret.dls", "..\\secret.dls", "sub/x.dls", "sub\\x.dls", "..", "/etc/passwd", "pipe.dls"})
        EXPECT_TRUE(found(loader, {{}, 0x10, {}, {}, name}).empty()) << name;
}
