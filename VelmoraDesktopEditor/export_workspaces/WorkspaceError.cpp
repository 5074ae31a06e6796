#include "export_workspaces/WorkspaceError.h"

#include "model/JsonDecoding.h"

namespace velmora {

Error workspaceError(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error& error) {
        return error;
    } catch (const DecodingError& error) {
        const int code = static_cast<int>(error.kind()) + 1;
        const std::string path = error.pathText();
        return Error("decoding", code,
                     path.empty() ? error.debugDescription() : path + ": " + error.debugDescription());
    } catch (const std::exception& error) {
        return Error("export", 0, error.what());
    } catch (...) {
        return Error("export", 0, "Unknown failure.");
    }
}

} // namespace velmora
