// The yafa tool run as a user runs it, against the real plugin beside it:
// exit codes and messages, standard streams, the refusals that keep files
// safe, notes, and the size guard. Frames in the order asked for and the raw
// output format are covered by the reference vectors; GIF and WebP exports
// by tests/cli/check_exports.py with independent decoders.
#include <png.h>
#include <pty.h>
#include <signal.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>

#include "tiny_yafa.h"
#include "tool_runner.h"
#include "yafa_writer.h"

namespace yafa::test {
namespace {

class CliTest : public ToolTest {
protected:
    void SetUp() override {
        ToolTest::SetUp();
        good_ = Write("good.yafa", BuildTinyYafa(false));
        broken_ = Write("broken.yafa", BuildTinyYafa(true));
    }
    std::string good_, broken_;
};

// Frame k as yafa raw writes it: 0x00RRGGBB little-endian words.
std::string RawFrame(int k) {
    std::string s;
    for (int i = 0; i < kTinyWidth * kTinyHeight; ++i) {
        const uint32_t c = kTinyColours[k % 4];
        s += {char(c), char(c >> 8), char(c >> 16), char(0)};
    }
    return s;
}

TEST_F(CliTest, MistakesExitOneWithOneLineThatSaysWhat) {
    const std::string notYafa = Write("text.yafa", {'h', 'e', 'l', 'l', 'o'});
    const std::string missing = Path("missing.yafa");
    Write("file", {1});
    const std::pair<std::string, std::string> cases[] = {
        {"raw " + missing, missing + ": cannot be opened: No such file"},
        {"info " + notYafa, notYafa + ": cannot be opened: not an IFF FORM of type YAFA"},
        {"raw --plugin /no/such.lvp " + good_, "/no/such.lvp"},
        {"raw " + good_ + " --no-such-option", "unexpected argument --no-such-option; see 'yafa raw --help'"},
        {"convert " + good_, "missing OUT; see 'yafa convert --help'"},
        {"", "no command given; see 'yafa --help'"},
        {"frob " + good_, "'frob' is not a yafa command (nearest: 'raw'); see 'yafa --help'"},
        {"--quiet extrat " + good_, "(nearest: 'extract')"},
        {"raw " + good_ + " --frames 1,,2", "--frames: the frame list \"1,,2\" has an empty item"},
        {"raw " + good_ + " --frames 0-3", "--frames: frame 3 is out of range"},
        {"raw " + good_ + " --frames", "--frames needs a value"},
        {"convert " + good_ + " " + Path("a.bmp"), "convert writes .gif and .webp files, not .bmp"},
        {"convert " + good_ + " -", "standard output needs --format gif or --format webp"},
        {"info " + good_ + " --max-pixels 47", "frames of 16 x 3 = 48 pixels exceed the limit of 47"},
        {"extract " + good_ + " " + Path("file"), "file: is not a folder"},
    };
    for (const auto& [args, says] : cases) {
        const ToolResult r = Run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        EXPECT_TRUE(OneMessage(r.err)) << args;
        EXPECT_NE(r.err.find(says), std::string::npos) << args << ": " << r.err;
    }
    // --help is not a mistake.
    const ToolResult help = Run("convert --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--format"), std::string::npos);
}

TEST_F(CliTest, FailingFrameExitsTwoAfterTheFramesBeforeIt) {
    const ToolResult r = Run("raw " + broken_ + " --frames 0,2,1,0");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, RawFrame(0) + RawFrame(2));
    EXPECT_EQ(r.err, "yafa: " + broken_ + ": frame 1 cannot be decoded: the XPK method ABCD is not FAST, NUKE or RAKE\n");
    EXPECT_EQ(Run("extract " + broken_ + " " + Path("png")).code, 2);
    EXPECT_TRUE(fs::exists(dir_ / "png" / "frame_00000.png"));
    EXPECT_FALSE(fs::exists(dir_ / "png" / "frame_00001.png"));
    // Animations of the frames before the failure, under their final names.
    for (const char* out : {"b.gif", "b.webp"}) {
        EXPECT_EQ(Run("convert " + broken_ + " " + Path(out)).code, 2) << out;
        EXPECT_GT(fs::file_size(dir_ / out), 30u) << out;
    }
    EXPECT_TRUE(Leftovers().empty());
}

// Frames of the tiny animation's kind through our writer: 16 x 3, 2 planes.
std::vector<uint8_t> WriteTiny(int frames, encode::Storage storage, bool delta) {
    encode::WriterOptions w;
    w.width = kTinyWidth, w.height = kTinyHeight, w.depth = 2;
    w.palette.assign(std::begin(kTinyColours), std::end(kTinyColours));
    w.storage = storage;
    w.delta = delta;
    std::vector<encode::Frame> f(static_cast<size_t>(frames));
    for (int k = 0; k < frames; ++k)
        for (int i = 0; i < kTinyWidth * kTinyHeight; ++i) f[size_t(k)].indices.push_back(uint8_t((i + k) % 4));
    return encode::WriteYafa(f, w);
}

// One line per problem, a summary per file, and the exit status yafa raw
// would end with: a truncated frame, a bad delta and the frames played
// through it, an unknown XPK method, a file that cannot be opened.
TEST_F(CliTest, CheckNamesEachProblemAndItsReason) {
    std::vector<uint8_t> bytes = WriteTiny(3, encode::Storage::S404, false);
    const std::string whole = Write("whole.yafa", bytes);
    const auto place = nlohmann::json::parse(Run("info --json " + whole).out);
    const uint64_t s404At = place["frame_offsets"][2], s404End = s404At + uint64_t(place["frame_lengths"][2]);
    bytes.resize(bytes.size() - 3);
    const std::string cut = Write("cut.yafa", bytes);

    bytes = WriteTiny(5, encode::Storage::Raw, true);
    const std::string deltaWhole = Write("delta.yafa", bytes);
    const auto deltaPlace = nlohmann::json::parse(Run("info --json " + deltaWhole).out);
    const uint64_t deltaAt = deltaPlace["frame_offsets"][2], deltaEnd = deltaAt + uint64_t(deltaPlace["frame_lengths"][2]);
    bytes[deltaAt] = 0x7F;  // the first plane's op list, far beyond the frame
    const std::string badDelta = Write("bad_delta.yafa", bytes);
    const std::string text = Write("text.yafa", {'h', 'e', 'l', 'l', 'o'});

    const std::string cutAt = std::to_string(s404At), deltaRange = std::to_string(deltaAt) + "-" + std::to_string(deltaEnd - 1);
    const struct {
        std::string file, out, err;
        int code;
    } cases[] = {
        {good_, good_ + ": ok, 3 frames\n", "", 0},
        {cut,
         cut + ": frame 2 (S404, bytes " + cutAt + "-" + std::to_string(s404End - 1) + "): the file ends " +
             std::to_string(s404End - 3 - s404At) + " bytes into the frame\n" + cut + ": 1 of 3 frames fails\n",
         "", 2},
        {badDelta,
         badDelta + ": frame 2 (raw, bytes " + deltaRange + "): a delta op list starts outside the frame\n" + badDelta +
             ": frames 3-4 fail too: playback goes through frame 2 to reach them\n" + badDelta +
             ": 3 of 5 frames fail: 1 broken, 2 played through a broken one\n",
         "", 2},
        {broken_,
         broken_ + ": frame 1 (XPK-ABCD, bytes 148-163): the XPK method ABCD is not FAST, NUKE or RAKE\n" + broken_ +
             ": 1 of 3 frames fails\n",
         "", 2},
        {text, "", "yafa: " + text + ": cannot be opened: not an IFF FORM of type YAFA\n", 1},
    };
    for (const auto& c : cases) {
        const ToolResult r = Run("check " + c.file);
        EXPECT_EQ(r.code, c.code) << c.file;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    // The other commands give the same reasons.
    EXPECT_EQ(Run("raw " + cut).err, "yafa: " + cut + ": frame 2 cannot be decoded: the file ends " +
                                         std::to_string(s404End - 3 - s404At) + " bytes into the frame\n");
    EXPECT_EQ(Run("raw --frames 4 " + badDelta).err,
              "yafa: " + badDelta + ": frame 4 cannot be decoded: playback goes through frame 2, which fails: a delta op "
                                    "list starts outside the frame\n");
    // Several files: the worst status, a file that cannot be opened first.
    EXPECT_EQ(Run("check " + good_ + " " + broken_).code, 2);
    EXPECT_EQ(Run("check " + text + " " + broken_ + " " + good_).code, 1);

    // --json: one object per file and line.
    const ToolResult r = Run("check --json " + broken_ + " " + text);
    EXPECT_EQ(r.code, 1);
    const size_t newline = r.out.find('\n');
    ASSERT_EQ(newline + 1 < r.out.size() ? r.out.find('\n', newline + 1) : 0, r.out.size() - 1) << r.out;
    const auto first = nlohmann::json::parse(r.out.substr(0, newline));
    const auto second = nlohmann::json::parse(r.out.substr(newline + 1));
    EXPECT_EQ(first["exit_status"], 2);
    EXPECT_EQ(first["frame_checks"][0], nlohmann::json::parse(R"({"index":0,"storage":"raw","offset":136,
        "stored_bytes":12,"unpacked_bytes":12,"result":"ok"})"));
    EXPECT_EQ(first["frame_checks"][1]["result"], "xpk_unknown_method");
    EXPECT_EQ(first["frame_checks"][1]["phrase"], "the XPK method is not FAST, NUKE or RAKE");
    EXPECT_EQ(second["result"], "not_yafa");
    EXPECT_EQ(second["exit_status"], 1);
}

// info marks the failing frame in its table and JSON, warns once, exits 2.
TEST_F(CliTest, InfoReportsWhatThePluginSaysAndMarksFailingFrames) {
    ToolResult r = Run("info " + broken_ + " --json");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "yafa: " + broken_ + ": frame 1 cannot be decoded: the XPK method ABCD is not FAST, NUKE or "
                                          "RAKE (1 of 3 frames fails; 'yafa check' names each problem)\n");
    // (The other fields are checked against every reference animation.)
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["storage"], nlohmann::json({"raw", "XPK-ABCD", "raw"}));
    EXPECT_EQ(j["failing_frames"], 1);
    EXPECT_EQ(j["frame_checks"][1]["result"], "xpk_unknown_method");
    r = Run("info " + broken_);
    EXPECT_NE(r.out.find("148          16  the XPK method ABCD is not FAST, NUKE or RAKE\n"), std::string::npos) << r.out;
    r = Run("info --no-check " + broken_);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.find("check"), std::string::npos) << r.out;
}

// "-" reads standard input, piped or redirected, and writes standard output;
// the same bytes come out as with files.
TEST_F(CliTest, DashIsStandardInputAndOutput) {
    EXPECT_EQ(Run("raw - <" + good_).out, Run("raw " + good_).out);
    EXPECT_EQ(Run("raw - --frames 2", "cat " + good_).out, RawFrame(2));
    const ToolResult info = Run("info -", "cat " + good_);
    EXPECT_EQ(info.out.substr(0, info.out.find('\n')), "standard input");
    ASSERT_EQ(Run("convert " + good_ + " " + Path("f.webp")).code, 0);
    const ToolResult webp = Run("convert - - --format webp <" + good_);
    EXPECT_EQ(webp.code, 0) << webp.err;
    EXPECT_EQ(webp.out, Slurp(dir_ / "f.webp"));
    ASSERT_EQ(Run("extract - " + Path("x"), "cat " + good_).code, 0);
    EXPECT_TRUE(fs::exists(dir_ / "x" / "frame_00002.png"));
    const ToolResult empty = Run("info -");
    EXPECT_EQ(empty.code, 1);
    EXPECT_NE(empty.err.find("yafa: standard input: cannot be opened"), std::string::npos) << empty.err;
    EXPECT_EQ(Run("check -", "cat " + good_).out, "standard input: ok, 3 frames\n");
}

// Binary output to a terminal is refused with a hint; so is a terminal as input.
TEST_F(CliTest, TerminalsAreRefused) {
    for (const std::string& args : {"raw " + good_, "convert " + good_ + " - --format gif", "pack - " + good_, std::string("info -")}) {
        int terminal = -1;
        const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string cmd = std::string(YAFA_TOOL_PATH) + " " + args;
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::string shown;
        char buffer[256];
        for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, size_t(n));
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(terminal);
        EXPECT_EQ(WEXITSTATUS(status), 1) << args;
        EXPECT_NE(shown.find("is a terminal"), std::string::npos) << args << ": " << shown;
    }
}

TEST_F(CliTest, ExistingFilesAreReplacedOnlyWithForceAndInputsNever) {
    const std::string gif = Write("old.gif", {'k', 'e', 'e', 'p'});
    ToolResult r = Run("convert " + good_ + " " + gif);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("old.gif: exists; give --force to replace it"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(gif), "keep");
    EXPECT_EQ(Run("convert " + good_ + " " + gif + " --force").code, 0);
    EXPECT_EQ(Slurp(gif).substr(0, 6), "GIF89a");
    // Not even with --force over the file being read.
    r = Run("convert --force --format gif " + good_ + " " + good_);
    EXPECT_NE(r.err.find("is also an input"), std::string::npos) << r.err;
    const std::vector<uint8_t> original = BuildTinyYafa(false);
    EXPECT_EQ(Slurp(good_), std::string(original.begin(), original.end()));
    EXPECT_TRUE(Leftovers().empty());
}

// Old and new frames never mix: a folder with frame files is refused; with
// --force the old ones this run does not write are removed, with a note.
// (--indexed writes palette PNGs of the frame's colours.)
TEST_F(CliTest, ExtractIntoAFolderWithFramesNeedsForce) {
    const std::string out = Path("frames");
    ASSERT_EQ(Run("extract " + good_ + " " + out).code, 0);
    Write("frames/notes.txt", {'x'});
    ToolResult r = Run("extract " + good_ + " " + out + " --frames 1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("holds 3 frame file(s) already (frame_00000.png, ...); give --force"), std::string::npos)
        << r.err;
    r = Run("extract " + good_ + " " + out + " --frames 2 --force --indexed");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "yafa: note: " + out + ": removed 2 frame file(s) of an earlier extract\n");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, std::vector<std::string>({"frame_00002.png", "notes.txt"}));
    // --indexed writes palette PNGs.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (out + "/frame_00002.png").c_str()));
    EXPECT_TRUE(image.format & PNG_FORMAT_FLAG_COLORMAP);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    ASSERT_EQ(rgb.size(), size_t(3 * kTinyWidth * kTinyHeight));
    for (size_t i = 0; i < rgb.size(); i += 3) ASSERT_EQ(uint32_t(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]), kTinyColours[2]);
}

// An animation whose WebP takes a while is stopped midway: nothing is left
// under the output's name nor under its temporary one.
TEST_F(CliTest, InterruptedRunLeavesNoFile) {
    encode::WriterOptions w;
    w.width = w.height = 1024;
    w.frameFormat = 4;
    w.depth = 24;
    std::mt19937 random(7);
    std::vector<encode::Frame> frames(6);
    for (auto& f : frames) {
        f.rgb.resize(size_t{w.width} * w.height);
        for (uint32_t& p : f.rgb) p = random() & 0xFFFFFF;
    }
    const std::string big = Write("big.yafa", encode::WriteYafa(frames, w));
    const std::string out = Path("big.webp");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(YAFA_TOOL_PATH, "yafa", "convert", "-q", big.c_str(), out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), SIGINT);
        EXPECT_FALSE(fs::exists(out));
    } else {  // done before it was stopped
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_TRUE(Leftovers().empty());
}

// Each change made on the way is one note, and --quiet silences them.
TEST_F(CliTest, NotesSayWhatChangedUnlessQuiet) {
    const std::string still = Write("still.yafa", BuildTinyYafa(false, true));  // every delay 0 ms
    ToolResult r = Run("convert " + still + " " + Path("s.gif"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "yafa: note: " + Path("s.gif") +
                         ": GIF delays count 1/100 s, at least 2: 3 frame delay(s) changed (0 ms to 20 ms); .webp "
                         "keeps them exactly\n");
    r = Run("convert " + still + " " + Path("s.webp"));
    EXPECT_TRUE(OneMessage(r.err)) << r.err;
    EXPECT_NE(r.err.find("3 frame(s) with a delay of 0 ms last 1 ms"), std::string::npos) << r.err;
    r = Run("convert --quiet " + still + " " + Path("q.gif"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
}

// A tiny file that declares frames of 20000 x 20000 is refused before the
// plugin allocates anything, unless the limit is lifted.
TEST_F(CliTest, MaxPixelsGuardsDecoding) {
    std::vector<uint8_t> huge = BuildTinyYafa(false);
    for (size_t at : {20, 22}) huge[at] = 0x4E, huge[at + 1] = 0x20;  // INFO width and height
    const std::string file = Write("huge.yafa", huge);
    for (const char* command : {"raw ", "check "}) {
        const ToolResult refused = Run(command + file);
        EXPECT_EQ(refused.code, 1);
        EXPECT_EQ(refused.err, "yafa: " + file + ": frames of 20000 x 20000 = 400,000,000 pixels exceed the limit of "
                                                 "268,435,456; give --max-pixels 0 to lift it\n");
    }
    // Its 12-byte frames are far too short for their pixels.
    const ToolResult lifted = Run("info --json --max-pixels 0 " + file);
    EXPECT_EQ(lifted.code, 2) << lifted.err;
    EXPECT_EQ(nlohmann::json::parse(lifted.out)["width"], 20000);
}

}  // namespace
}  // namespace yafa::test
