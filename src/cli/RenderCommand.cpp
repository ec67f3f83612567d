// render: a picture of a scene file, for thumbnails and previews.
#include "cli/Command.h"

#include "graphics/OffscreenRender.h"
#include "io/SceneFiles.h"
#include "platform/FatalMessage.h"
#include "platform/UserFolders.h"

#include <algorithm>
#include <cctype>
#include <iostream>

namespace cli {

namespace {

/// "WxH" with both numbers in 1..8192.
void parseSize(const std::string& text, unsigned& width, unsigned& height) {
    const auto x = text.find('x');
    try {
        std::size_t used = 0;
        if (x == std::string::npos || x == 0)
            throw std::invalid_argument("no x");
        const unsigned long w = std::stoul(text.substr(0, x), &used);
        if (used != x)
            throw std::invalid_argument("width");
        const std::string rest = text.substr(x + 1);
        const unsigned long h = std::stoul(rest, &used);
        if (used != rest.size() || w == 0 || h == 0 || w > 8192 || h > 8192)
            throw std::out_of_range("size");
        width = unsigned(w);
        height = unsigned(h);
    } catch (const std::logic_error&) {
        throw UsageError("bad size '" + text + "' (use WxH, e.g. 256x256, at most 8192x8192)");
    }
}

/// Takes "--size WxH" or "--size=WxH" out of `args`.
Arguments takeSize(const Arguments& args, unsigned& width, unsigned& height) {
    Arguments rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--size") {
            if (i + 1 == args.size())
                throw UsageError("--size needs a value");
            parseSize(args[++i], width, height);
        } else if (args[i].compare(0, 7, "--size=") == 0) {
            parseSize(args[i].substr(7), width, height);
        } else {
            rest.push_back(args[i]);
        }
    }
    return rest;
}

int runRender(const Arguments& args) {
    Kiln::OffscreenRenderOptions options;
    std::vector<std::string> flags;
    const Arguments positional =
        positionalArguments(takeSize(args, options.width, options.height), {}, flags);
    expectCount(positional, 2);
    const std::string& in = positional[0];
    const std::string& out = positional[1];
    if (out.size() < 5 || !std::equal(out.end() - 4, out.end(), ".png", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
        throw UsageError("the picture is written as PNG: OUT must end in .png");
    if (!Kiln::displayAvailable()) {
        std::cerr << "morvel-cli: render needs an X display; none is available "
                     "(set DISPLAY or run it under xvfb-run)"
                  << std::endl;
        return 1;
    }
    Kiln::ObjectGroup root;
    Kiln::PlainObjectFactory factory;
    onFile(in, [&] { Kiln::importSceneFile(in, root, factory); });
    options.dataDirectory = Kiln::dataDirectory();
    onFile(out, [&] { Kiln::renderSceneToImage(root, out, options); });
    return 0;
}

const CommandRegistration render{{"render", "render SCENE OUT.png [--size WxH]",
                                  "Draw a scene file to an image (needs an X display)", runRender}};

} // namespace

} // namespace cli
