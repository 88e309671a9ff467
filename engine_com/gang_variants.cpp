#include "engine_com/gang_variants.h"

#include <array>

namespace {

constexpr std::array kVariants = {
    GangVariant{"GangProgramThreadOld", GangProgramThreadOld},
    GangVariant{"GangVerifyThreadOld", GangVerifyThreadOld},
    GangVariant{"GangProgramThreadB", GangProgramThreadB},
    GangVariant{"GangVerifyThreadB", GangVerifyThreadB},
    GangVariant{"GangProgramThreadB2", GangProgramThreadB2},
    GangVariant{"GangVerifyThreadB2", GangVerifyThreadB2},
    GangVariant{"GangProgramThread128", GangProgramThread128},
    GangVariant{"GangProgramThread128B", GangProgramThread128B},
    GangVariant{"GangVerifyThreadC", GangVerifyThreadC},
    GangVariant{"GangProgramThreadCompact", GangProgramThreadCompact},
    GangVariant{"GangVerifyThreadCompact", GangVerifyThreadCompact},
};

}  // namespace

std::span<const GangVariant> GangVariants() { return kVariants; }
