#include "platform/dl.h"

#include "platform/winpath.h"

#include <dlfcn.h>
#include <utility>

namespace {

std::string DlError(const std::string& fallback) {
    const char* text = dlerror();
    return text ? text : fallback;
}

// Where LoadLibrary would have found the file: the program folder before the system's.
std::string WhereToLoad(const std::string& fileName) {
    if (fileName.find_first_of("/\\") != std::string::npos) return ResolvePath(fileName);
    const std::string beside = ResolvePath(ProgramFolder() + "/" + fileName);
    return FileExists(beside) ? beside : fileName;
}

} // namespace

TDynamicLibrary::~TDynamicLibrary() {
    Free();
}

TDynamicLibrary::TDynamicLibrary(TDynamicLibrary&& other) noexcept
    : FHandle(std::exchange(other.FHandle, nullptr)), FFileName(std::move(other.FFileName)),
      FLastError(std::move(other.FLastError)) {}

TDynamicLibrary& TDynamicLibrary::operator=(TDynamicLibrary&& other) noexcept {
    if (this != &other) {
        Free();
        FHandle = std::exchange(other.FHandle, nullptr);
        FFileName = std::move(other.FFileName);
        FLastError = std::move(other.FLastError);
    }
    return *this;
}

bool TDynamicLibrary::Load(const std::string& fileName) {
    Free();
    FLastError.clear();
    if (fileName.empty()) {
        FLastError = "no file name given";
        return false;
    }
    dlerror();
    FHandle = dlopen(WhereToLoad(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!FHandle) {
        FLastError = DlError("cannot load " + fileName);
        return false;
    }
    FFileName = fileName;
    return true;
}

bool TDynamicLibrary::LoadHolding(const void* address) {
    Free();
    FLastError.clear();
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fname) {
        FLastError = "no shared object holds that address";
        return false;
    }
    dlerror();
    // Never a load of its own: only another reference to what is loaded already.
    FHandle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!FHandle) {
        FLastError = DlError(std::string(info.dli_fname) + " is not a loaded library");
        return false;
    }
    FFileName = info.dli_fname;
    return true;
}

void TDynamicLibrary::Free() {
    if (FHandle) dlclose(FHandle);
    FHandle = nullptr;
    FFileName.clear();
}

void* TDynamicLibrary::Find(const std::string& name) {
    if (!FHandle) {
        FLastError = "no library loaded";
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(FHandle, name.c_str());
    // A symbol may legitimately be null; only dlerror tells a missing one apart.
    if (const char* text = dlerror()) {
        FLastError = text;
        return nullptr;
    }
    if (!symbol) FLastError = name + " is null";
    return symbol;
}
