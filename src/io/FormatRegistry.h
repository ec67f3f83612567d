#pragma once
// File formats by extension (compared without regard to case). A second
// registration under a taken extension is kept but not reachable.
#include "io/FileFormat.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kiln {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

template <typename Format>
class FormatRegistry {
public:
    /// Registers `format` under `extension` unless the extension is taken.
    void registerFormat(const std::string& extension, std::shared_ptr<Format> format) {
        all.push_back(format);
        byExtension.emplace(extension, std::move(format));
    }
    /// The format for `extension`, or null.
    std::shared_ptr<Format> find(const std::string& extension) const {
        const auto found = byExtension.find(extension);
        return found == byExtension.end() ? nullptr : found->second;
    }
    const std::map<std::string, std::shared_ptr<Format>, CaseInsensitiveLess>& getFormats() const {
        return byExtension;
    }
    /// Every registered format in registration order, unreachable ones too.
    const std::vector<std::shared_ptr<Format>>& getAllFormats() const { return all; }

private:
    std::map<std::string, std::shared_ptr<Format>, CaseInsensitiveLess> byExtension;
    std::vector<std::shared_ptr<Format>> all;
};

using ImportRegistry = FormatRegistry<ImportFileFormat>;
using ExportRegistry = FormatRegistry<ExportFileFormat>;

/// "cr8", "stl" and "obj".
ImportRegistry makeImportRegistry();
/// "cr8", "stl" (binary; the text exporter is registered behind it), "obj"
/// and "wrl".
ExportRegistry makeExportRegistry();

} // namespace Kiln
