#pragma once

#include <string>

// Names each case of a parameterised table after its record's Name field.
struct TCaseName {
    template <typename TInfo>
    std::string operator()(const TInfo& info) const {
        return info.param.Name;
    }
};
