#include "export/SecurityScope.h"

namespace velmora::Exporter {

namespace {

class UnscopedAccess final : public SecurityScopeAccess {
public:
    bool startAccessing(const std::filesystem::path&) override { return false; }
    void stopAccessing(const std::filesystem::path&) override {}
};

} // namespace

SecurityScopeAccess& platformSecurityScopeAccess()
{
    static UnscopedAccess access;
    return access;
}

} // namespace velmora::Exporter
