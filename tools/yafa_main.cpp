// yafa: inspect and decode YAFA animations through the yafa.lvp plugin,
// driven as the Lumivue host drives it, and make them from pictures.
#include <CLI/CLI.hpp>

#include "commands.h"

namespace {

constexpr const char* kPluginHelp =
    "Plugin module to load (default: $YAFA_PLUGIN, else yafa.lvp beside this program)";

void AddHostOptions(CLI::App* command, yafa::tool::HostOptions* host) {
    command->add_option("--host-version", host->version, "Host version the plugin is told (signed)")
        ->capture_default_str();
    command->add_option("--host-revision", host->revision, "Host revision the plugin is told")
        ->capture_default_str();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace yafa::tool;
    CLI::App app{"Inspect and decode YAFA animations through the yafa.lvp plugin, and make them from pictures.",
                 "yafa"};
    app.require_subcommand(1, 1);
    app.fallthrough();  // --plugin may also follow the subcommand
    app.footer(
        "Exit status: 0 success; 1 bad usage, plugin not loadable, animation not openable, pictures unusable or "
        "output not writable; 2 a frame failed to decode (the frames before it were written).\n"
        "Frame lists: comma-separated indices and inclusive ranges a-b, in request order, e.g. 0-4,2,7,0.");

    HostOptions host;
    app.add_option("--plugin", host.plugin, kPluginHelp);

    InfoOptions info;
    CLI::App* infoCmd = app.add_subcommand("info", "Size, depth, frames, flags, frame delays and storage of each frame");
    infoCmd->add_option("FILE", info.file, "YAFA animation")->required();
    infoCmd->add_flag("--json", info.json, "Print one JSON object instead of a table");
    AddHostOptions(infoCmd, &host);

    RawOptions raw;
    CLI::App* rawCmd = app.add_subcommand(
        "raw",
        "Decode frames to stdout: per frame width*height little-endian u32 0x00RRGGBB, or with --indexed "
        "width*height index bytes and the 256-entry palette as 256 little-endian u32 (zeros for hosts of "
        "version 8 or older, which are not given the palette)");
    rawCmd->add_option("FILE", raw.file, "YAFA animation")->required();
    rawCmd->add_option("--frames", raw.frames, "Frames in request order (default: all in order)");
    rawCmd->add_flag("--indexed", raw.indexed, "Ask the plugin for 8-bit palette indices");
    AddHostOptions(rawCmd, &host);

    ExtractOptions extract;
    CLI::App* extractCmd =
        app.add_subcommand("extract", "Write frames as PNG files DIR/frame_NNNNN.png (NNNNN: the frame index)");
    extractCmd->add_option("FILE", extract.file, "YAFA animation")->required();
    extractCmd->add_option("DIR", extract.dir, "Output directory (created if missing)")->required();
    extractCmd->add_option("--frames", extract.frames, "Frames to write (default: all)");
    extractCmd->add_flag("--indexed", extract.indexed, "Palette PNGs from the plugin's 8-bit output");
    AddHostOptions(extractCmd, &host);

    ConvertOptions convert;
    CLI::App* convertCmd = app.add_subcommand(
        "convert", "Write an animated, looping GIF with each frame's delay; frames of more than 256 colours are quantised");
    convertCmd->add_option("FILE", convert.file, "YAFA animation")->required();
    convertCmd->add_option("OUT", convert.out, "GIF file to write")->required();
    AddHostOptions(convertCmd, &host);

    PackCommandOptions pack;
    CLI::App* packCmd = app.add_subcommand(
        "pack",
        "Make a YAFA animation from PNG files (in the order given), folders of PNG files (sorted by name) or one "
        "animated GIF. Pictures of at most 256 colours are stored exactly");
    packCmd->add_option("OUT", pack.out, "YAFA file to write")->required();
    packCmd->add_option("INPUT", pack.inputs, "PNG files, folders of PNG files, or one GIF")->required();
    packCmd->add_option("--layout", pack.layout, "planar (bitplanes, format 0) or chunky (format 4, 3 with deltas); "
                                                 "default planar, chunky for true colour")
        ->check(CLI::IsMember({"planar", "chunky"}));
    packCmd->add_option("--depth", pack.depth, "Bits per pixel: 1..8 (a palette), 15 or 24 (true colour); default "
                                               "the smallest that holds the colours")
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
    packCmd->add_flag("--quantize", pack.quantize, "Allow reducing more colours than the palette holds (and "
                                                   "rounding to 15-bit colours)");
    CLI::Option* ham6 = packCmd->add_flag("--ham6", pack.ham6, "Hold-and-modify, 6 bitplanes (approximate colours)");
    packCmd->add_flag("--ham8", pack.ham8, "Hold-and-modify, 8 bitplanes (approximate colours)")->excludes(ham6);
    packCmd->add_flag("--stats", pack.stats, "Print per frame the size with each method tried, the method kept "
                                             "and the time taken, and the totals");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help exits 0; every usage error exits 1.
        return app.exit(e) == 0 ? 0 : 1;
    }
    if (*infoCmd) return RunInfo(host, info);
    if (*rawCmd) return RunRaw(host, raw);
    if (*extractCmd) return RunExtract(host, extract);
    if (*packCmd) return RunPack(pack);
    return RunConvert(host, convert);
}
