// yafa: inspect and decode YAFA animations through the yafa.lvp plugin,
// driven as the Lumivue host drives it, and make them from pictures.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <string_view>

#include "command_support.h"
#include "commands.h"

namespace {

using namespace yafa::tool;

constexpr std::array<std::string_view, 6> kCommands = {"info", "check", "raw", "extract", "convert", "pack"};

constexpr const char* kPluginHelp =
    "Plugin module to load (default: $YAFA_PLUGIN, else yafa.lvp beside this program, else "
    "../lib/yafa/yafa.lvp from it)";
constexpr const char* kQuietHelp = "No notes on standard error about what was changed on the way";
constexpr const char* kMaxPixelsHelp = "Refuse frames of more pixels than this, before decoding (0: no limit)";

void AddHostOptions(CLI::App* command, HostOptions* host) {
    command->add_option("--host-version", host->version, "Host version the plugin is told (signed)")
        ->capture_default_str();
    command->add_option("--host-revision", host->revision, "Host revision the plugin is told")
        ->capture_default_str();
    command->add_option("--max-pixels", host->maxPixels, kMaxPixelsHelp)->capture_default_str();
}

size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The command word of the command line: the first argument that is neither
// an option nor the value of --plugin. Empty when there is none.
std::string FindCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--plugin") {
            ++i;
        } else if (arg == "--" && i + 1 < argc) {
            return argv[i + 1];
        } else if (arg.empty() || arg[0] != '-' || arg == "-") {
            return std::string(arg);
        }
    }
    return {};
}

// CLI11's message, in the tool's words where they differ.
std::string Rephrase(std::string message) {
    for (const std::string_view lead : {"The following argument was not expected: ",
                                        "The following arguments were not expected: "}) {
        if (message.starts_with(lead)) return "unexpected argument " + message.substr(lead.size());
    }
    if (message.ends_with(" is required")) return "missing " + message.substr(0, message.size() - 12);
    if (const size_t colon = message.find(": 1 required "); colon != std::string::npos && message.ends_with(" missing"))
        return message.substr(0, colon) + " needs a value";
    if (!message.empty() && message[0] >= 'A' && message[0] <= 'Z' && (message.size() < 2 || message[1] > 'Z'))
        message[0] = static_cast<char>(message[0] - 'A' + 'a');
    return message;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Inspect and decode YAFA animations through the yafa.lvp plugin, export them as GIF or WebP, "
                 "and make them from pictures.",
                 "yafa"};
    app.require_subcommand(0, 1);
    app.fallthrough();  // --plugin and --quiet may also follow the command
    app.footer(
        "FILE may be - for standard input, and the output of convert and pack - for standard output. An existing "
        "output is replaced only with --force.\n"
        "Exit status: 0 success; 1 bad usage, plugin not loadable, animation not openable, pictures unusable or "
        "output not writable; 2 a frame failed to decode (the frames before it were written), or info and check "
        "found a frame that fails.\n"
        "Frame lists: comma-separated indices and inclusive ranges a-b, in request order, e.g. 0-4,2,7,0.\n"
        "More in the manual: man yafa.");

    HostOptions host;
    bool quiet = false, version = false;
    app.add_option("--plugin", host.plugin, kPluginHelp);
    app.add_flag("-q,--quiet", quiet, kQuietHelp);
    app.add_flag("--version", version, "Print the versions of the tool and of its plugin");

    InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand("info", "Size, depth, frames, flags, frame delays and storage of each frame");
    infoCmd->add_option("FILE", info.file, "YAFA animation, or - for standard input")->required();
    infoCmd->add_flag("--json", info.json, "Print one JSON object instead of a table");
    infoCmd->add_flag("--no-check", info.noCheck,
                      "Do not decode every frame to find damaged ones (faster on long animations; exit status 0 "
                      "however the frames are)");
    AddHostOptions(infoCmd, &host);

    CheckOptions check;
    CLI::App* checkCmd = app.add_subcommand(
        "check", "Decode every frame, without pixels, as raw would, and print one line per problem with its "
                 "reason and one summary line per file. Exit status: the worst of the files (1 cannot be opened, "
                 "then 2 a frame fails)");
    checkCmd->add_option("FILE", check.files, "YAFA animations, or - for standard input")->required();
    checkCmd->add_flag("--json", check.json,
                       "Print one JSON object per file and line: per frame its storage, stored and unpacked bytes, "
                       "and ok or the reason");
    checkCmd->add_option("--max-pixels", host.maxPixels, kMaxPixelsHelp)->capture_default_str();

    RawOptions raw;
    CLI::App* rawCmd = app.add_subcommand(
        "raw",
        "Decode frames to standard output (not a terminal): per frame width*height little-endian u32 0x00RRGGBB, "
        "or with --indexed width*height index bytes and the 256-entry palette as 256 little-endian u32 (zeros for "
        "hosts of version 8 or older, which are not given the palette)");
    rawCmd->add_option("FILE", raw.file, "YAFA animation, or - for standard input")->required();
    rawCmd->add_option("--frames", raw.frames, "Frames in request order (default: all in order)");
    rawCmd->add_flag("--indexed", raw.indexed, "Ask the plugin for 8-bit palette indices");
    AddHostOptions(rawCmd, &host);

    ExtractOptions extract;
    CLI::App* extractCmd = app.add_subcommand(
        "extract", "Write frames as PNG files DIR/frame_NNNNN.png (NNNNN: the frame index); a folder that holds "
                   "frame files already is refused without --force");
    extractCmd->add_option("FILE", extract.file, "YAFA animation, or - for standard input")->required();
    extractCmd->add_option("DIR", extract.dir, "Output folder (created if missing)")->required();
    extractCmd->add_option("--frames", extract.frames, "Frames to write (default: all)");
    extractCmd->add_flag("--indexed", extract.indexed, "Palette PNGs from the plugin's 8-bit output");
    extractCmd->add_flag("-f,--force", extract.force,
                         "Write into a folder that holds frame files, and remove those this run does not write");
    AddHostOptions(extractCmd, &host);

    ConvertOptions convert;
    CLI::App* convertCmd = app.add_subcommand(
        "convert", "Write a looping animation: .webp lossless with exact delays; .gif with delays in 1/100 s, "
                   "exact for up to 256 colours, other frames quantised");
    convertCmd->add_option("FILE", convert.file, "YAFA animation, or - for standard input")->required();
    convertCmd->add_option("OUT", convert.out, "File to write (.gif or .webp), or - for standard output")->required();
    convertCmd->add_option("--format", convert.format, "gif or webp (default: from OUT's extension; needed for -)")
        ->check(CLI::IsMember({"gif", "webp"}));
    convertCmd->add_flag("-f,--force", convert.force, "Replace OUT if it exists");
    AddHostOptions(convertCmd, &host);

    PackCommandOptions pack;
    CLI::App* packCmd = app.add_subcommand(
        "pack",
        "Make a YAFA animation from PNG files (in the order given), folders of PNG files (sorted by name) or one "
        "animated GIF. Pictures of at most 256 colours are stored exactly in a palette, more in true colour");
    packCmd->add_option("OUT", pack.out, "YAFA file to write, or - for standard output")->required();
    packCmd->add_option("INPUT", pack.inputs, "PNG files, folders of PNG files, or one GIF (- for standard input)")
        ->required();
    packCmd->add_option("--layout", pack.layout, "planar (bitplanes, format 0) or chunky (format 4, 3 with deltas); "
                                                 "default planar, chunky for true colour")
        ->check(CLI::IsMember({"planar", "chunky"}));
    packCmd->add_option("--depth", pack.depth, "Bits per pixel: 1..8 (a palette), 15 or 24 (true colour); default "
                                               "the smallest palette that holds the colours, else 24")
        ->check(CLI::Range(1, 8) | CLI::IsMember({15, 24}));
    CLI::Option* deltaFlag =
        packCmd->add_flag("--delta", pack.delta, "Store frames as deltas (default for depth 8 or less)");
    packCmd->add_flag("--no-delta", pack.noDelta, "Store every frame whole")->excludes(deltaFlag);
    packCmd->add_option("--delta-unit", pack.deltaUnit, "Bytes per delta column: 1 (default), 2 or 4; where the "
                                                        "columns cannot reach a change, narrower ones are used")
        ->check(CLI::IsMember({1, 2, 4}));
    packCmd->add_option("--keyframes", pack.keyFrames, "two: frames 0 and 1 whole (default); from1: frame 0 whole; "
                                                       "from0, from01: every frame a delta")
        ->check(CLI::IsMember({"two", "from1", "from0", "from01"}));
    packCmd->add_option("--storage", pack.storage, "raw, s404, fast, nuke, rake, or auto: the smallest per frame")
        ->check(CLI::IsMember({"raw", "s404", "fast", "nuke", "rake", "auto"}))
        ->capture_default_str();
    CLI::Option* delayTicks = packCmd->add_option(
        "--delay", pack.delayTicks, "Delay of every frame in ticks of 1/50 s (default: the GIF's delays, else 5)")
        ->check(CLI::Range(1, 65535));
    packCmd->add_option("--delay-ms", pack.delayMs, "Delay of every frame in milliseconds, rounded to ticks")
        ->check(CLI::Range(1, 1310700))
        ->excludes(delayTicks);
    packCmd->add_flag("--frame-palette", pack.framePalette, "A palette in every frame, so each frame may have its "
                                                            "own 256 colours");
    packCmd->add_flag("--quantize", pack.quantize, "Reduce more colours than the palette holds (and round to "
                                                   "15-bit colours) instead of refusing or storing true colour");
    CLI::Option* ham6 = packCmd->add_flag("--ham6", pack.ham6, "Hold-and-modify, 6 bitplanes (approximate colours)");
    packCmd->add_flag("--ham8", pack.ham8, "Hold-and-modify, 8 bitplanes (approximate colours)")->excludes(ham6);
    packCmd->add_flag("--stats", pack.stats, "Print per frame the size with each method tried, the method kept "
                                             "and the time taken, and the totals");
    packCmd->add_flag("-f,--force", pack.force, "Replace OUT if it exists");
    packCmd->add_option("--max-pixels", pack.maxPixels,
                        "Refuse pictures of more pixels than this, before reading their pixels (0: no limit)")
        ->capture_default_str();

    for (CLI::App* command : {infoCmd, checkCmd, rawCmd, extractCmd, convertCmd, packCmd})
        command->add_flag("-q,--quiet", quiet, kQuietHelp);

    // An unknown command is named before the parser says anything.
    const std::string command = FindCommand(argc, argv);
    if (!command.empty() && std::find(kCommands.begin(), kCommands.end(), command) == kCommands.end()) {
        const auto nearest = std::min_element(kCommands.begin(), kCommands.end(), [&](auto a, auto b) {
            return EditDistance(command, a) < EditDistance(command, b);
        });
        return ComplainUsage("", "'" + command + "' is not a yafa command (nearest: '" + std::string(*nearest) + "')");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return ComplainUsage(command, Rephrase(e.what()));
    }
    SetQuiet(quiet);
    if (version) return RunVersion(host);
    if (*infoCmd) return RunInfo(host, info);
    if (*checkCmd) return RunCheck(host, check);
    if (*rawCmd) return RunRaw(host, raw);
    if (*extractCmd) return RunExtract(host, extract);
    if (*convertCmd) return RunConvert(host, convert);
    if (*packCmd) return RunPack(pack);
    return ComplainUsage("", "no command given");
}
