// Tiled map -> map file: the files on disk, the notes, and the one output.
//
// Reading (tiledread.cpp) and building (mapbuild.cpp) work from memory; this
// file gives them the files, under one rule: a tileset or image is read only
// if it is a regular file the user can open, and one outside the map's own
// folder (an absolute path, "..", or a link leading out) is read with a note
// that names it, so a map from elsewhere cannot read files silently.
#include <climits>
#include <cstdlib> // realpath
#include <set>

#include "convert.h"
#include "mapbuild.h"
#include "atomicfile.h"
#include "files.h"
#include "pngfile.h"
#include "tiledmodel.h"

namespace tmapconvert {

namespace {

// Names in a message come from the input; they must not break it into lines.
std::string oneLine(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return text;
}

bool importFromText(const std::string& text, const std::string& folder, const FileSource& files,
                    const Options& options, std::vector<uint8_t>& image, ImportReport& report, std::string& error)
{
    TiledMap tiled;
    if (!readTiledMap(text, folder, files, options.limits, tiled, error)) {
        error = oneLine(error);
        return false;
    }
    const ImageSource images = [&](const std::string& path, tmapimage::Image& picture, std::string& reason) {
        std::string bytes;
        if (!files(path, bytes, reason))
            return false;
        return tmapimage::readPngMemory(bytes.data(), bytes.size(), picture, reason, options.limits.imagePixels);
    };
    tmapwriter::Map map;
    if (!buildMap(tiled, images, options, map, report, error)) {
        error = oneLine(error);
        return false;
    }
    image = tmapwriter::buildImage(map);
    return true;
}

std::string canonical(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.empty() ? "." : path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string plural(long count, const char* word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

} // namespace

void printNote(const Options& options, const std::string& inPath, const std::string& text)
{
    if (options.notes != nullptr)
        std::fprintf(options.notes, "fmapconvert: %s: %s\n", inPath.c_str(), text.c_str());
}

bool importTiledText(const std::string& mapText, const std::string& folder, const FileSource& files,
                     const Options& options, std::vector<uint8_t>& image, std::string& error)
{
    ImportReport report;
    return importFromText(mapText, folder, files, options, image, report, error);
}

bool importTiled(const std::string& inPath, const std::string& outPath, const Options& options, std::string& error)
{
    std::string text;
    if (!tmapfiles::readWholeFile(inPath, text, error, options.limits.fileBytes))
        return false;
    const std::string folder = tmapfiles::folderOf(inPath);
    const std::string home = canonical(folder);
    std::set<std::string> noted;
    const FileSource files = [&](const std::string& path, std::string& bytes, std::string& reason) {
        const std::string real = canonical(path);
        const bool inside = !home.empty() && real.size() > home.size() && real.compare(0, home.size(), home) == 0
                            && (home == "/" || real[home.size()] == '/');
        if (!options.trustedPaths && !real.empty() && !inside && noted.insert(real).second)
            printNote(options, inPath, "reads " + oneLine(path) + ", outside the map's folder");
        return tmapfiles::readWholeFile(path, bytes, reason, options.limits.fileBytes);
    };
    std::vector<uint8_t> image;
    ImportReport report;
    if (!importFromText(text, folder, files, options, image, report, error))
        return false;
    if (!tmapfiles::writeFileAtomically(outPath, std::string(image.begin(), image.end()), error))
        return false;
    for (const std::string& text : report.layerNotes)
        printNote(options, inPath, oneLine(text));
    if (report.objectLayers > 0)
        printNote(options, inPath, "skipped " + plural(report.objectLayers, "object layer"));
    if (report.imageLayers > 0)
        printNote(options, inPath, "skipped " + plural(report.imageLayers, "image layer"));
    for (const std::string& layer : report.unknownLayers)
        printNote(options, inPath, "skipped " + oneLine(layer));
    if (report.infinite)
        printNote(options, inPath, "infinite map: Tiled's cell " + std::to_string(report.originX) + ","
                                  + std::to_string(report.originY) + " is cell 0,0 of " + outPath);
    if (report.movedTexels > 0)
        printNote(options, inPath, plural(report.movedTexels, "opaque texel") + " had the colour key's colour and "
                                  + (report.movedTexels == 1 ? "was" : "were") + " moved to the nearest other colour");
    return true;
}

} // namespace tmapconvert
