#include "program/StereoNames.h"

#include "program/SampleBlock.h"

#include <algorithm>

namespace velomire::program {

std::vector<int> PartsOf(std::int16_t sendMode) {
    switch (sendMode) {
    case sendLeft:
        return {1};
    case sendRight:
        return {2};
    case sendStereo:
        return {1, 2};
    default:
        return {0};
    }
}

std::string_view HalfSuffix(int part) {
    return part == 1 ? "-L" : part == 2 ? "-R" : "";
}

std::string PartName(std::string_view name, int part, std::size_t width) {
    const std::string_view suffix = HalfSuffix(part);
    if (width == 0) {
        return std::string(name) + std::string(suffix);
    }
    std::string field(width, ' ');
    std::copy_n(name.begin(), std::min(name.size(), width), field.begin());
    if (!suffix.empty() && width >= suffix.size()) {
        field.replace(width - suffix.size(), suffix.size(), suffix);
    }
    return field;
}

int PartOfName(std::string_view name) {
    for (const int part : {1, 2}) {
        if (name.size() > 2 && name.ends_with(HalfSuffix(part))) {
            return part;
        }
    }
    return 0;
}

bool StereoHalves(std::string_view left, std::string_view right, std::size_t width) {
    return left.size() == right.size() && (width == 0 || left.size() == width) &&
           PartOfName(left) == 1 && PartOfName(right) == 2 &&
           left.substr(0, left.size() - 2) == right.substr(0, right.size() - 2);
}

std::string EntryNameOfHalf(std::string_view half) {
    std::string name(half.substr(0, half.size() >= 2 ? half.size() - 2 : 0));
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

} // namespace velomire::program
