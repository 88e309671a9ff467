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
    GangVariant{"GangByteProgramThread", GangByteProgramThread},
    GangVariant{"GangByteVerifyThread", GangByteVerifyThread},
    GangVariant{"GangProgramMtpThread", GangProgramMtpThread},
    GangVariant{"GangVerifyThreadA", GangVerifyThreadA},
    GangVariant{"GangSingleProgramThread", GangSingleProgramThread},
    GangVariant{"GangBroadcastProgramThread", GangBroadcastProgramThread},
    GangVariant{"GangSingleProgram8Thread", GangSingleProgram8Thread},
    GangVariant{"GangTimedProgramThread", GangTimedProgramThread},
    GangVariant{"GangProgramOnlyThread", GangProgramOnlyThread},
    GangVariant{"GangVerifyOnlyThread", GangVerifyOnlyThread},
    GangVariant{"GangPageEraseThread", GangPageEraseThread},
    GangVariant{"GangChipEraseThread", GangChipEraseThread},
    GangVariant{"GangZeroByteTestThread", GangZeroByteTestThread},
    GangVariant{"GangHandshakeTestThread", GangHandshakeTestThread},
    GangVariant{"GangOptionByteResetThread", GangOptionByteResetThread},
};

}  // namespace

std::span<const GangVariant> GangVariants() { return kVariants; }
