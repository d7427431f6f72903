// What the network migration leaves in the sections it rewrites whole, key by key in file order.
// The rewrite tests hold the migration to these tables, and the write counts below follow from
// them.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ZentrelTest {

using SectionContent = std::vector<std::pair<std::string, std::string>>;

inline const SectionContent kOther = {
    {"HasNewWiaDriver", "true"},
    {"IsMFPTwain", "true"},
    {"CustomResolution", "1200"},
    {"AlternateScanResolution", "600"},
};

inline const SectionContent kFeaturesAvailable = {
    {"MultiStreamingAvailable", "1"},
    {"BackSideScan", "1"},
    {"BarcodeDetection", "1"},
    {"PreviewImagePopupDlg", "1"},
    {"SplitAndRotate", "1"},
    {"MultiTasking", "1"},
    {"WordExcelCSV", "1"},
};

inline const SectionContent kImagingLibrary = {{"LibraryBeingUsed", "1"}};

inline const SectionContent kMultiThreadFeatures = {
    {"AutoOrient", "1"}, {"ContentDeskew", "1"},  {"DetectSize", "1"},    {"DetectContent", "0"},
    {"PageSize", "0"},   {"PageSides", "1"},      {"ColorMode", "0"},     {"Misfeed", "0"},
    {"Resolution", "0"}, {"AutoExposure", "0"},   {"AutoThreshold", "0"}, {"Exposure", "0"},
    {"Threshold", "0"},  {"EnhanceContent", "0"}, {"ColorDropout", "0"},  {"DetectBlankPage", "0"},
    {"AutoFeed", "0"},   {"RemoveHoles", "0"},    {"RotateImage", "0"},
};

// The writes that rewrite such sections of a file that holds all of them: one deletion each,
// then one write per key.
inline int RewriteWrites(const std::vector<const SectionContent*>& sections) {
    int writes = 0;
    for (const SectionContent* section : sections) {
        writes += 1 + static_cast<int>(section->size());
    }
    return writes;
}

inline int DeviceSectionWrites() {
    return RewriteWrites({&kOther});
}

inline int FeatureSectionWrites() {
    return RewriteWrites({&kFeaturesAvailable, &kImagingLibrary, &kMultiThreadFeatures});
}

}  // namespace ZentrelTest
