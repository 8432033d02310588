#pragma once
// Shared objects loaded at run time and their functions found by name, as the program always
// loaded its decoding library and codec driver. Failures are results, not exceptions: the
// callers report them in their own words.
#include <string>

class TDynamicLibrary {
  public:
    TDynamicLibrary() = default;
    ~TDynamicLibrary();
    TDynamicLibrary(TDynamicLibrary&& other) noexcept;
    TDynamicLibrary& operator=(TDynamicLibrary&& other) noexcept;
    TDynamicLibrary(const TDynamicLibrary&) = delete;
    TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

    // A name with a folder is a Windows-style path (see winpath.h); a bare name is looked for
    // in the program folder first, then where the system keeps its libraries. Frees what was
    // loaded before. false: nothing loaded, LastError says why.
    bool Load(const std::string& fileName);
    // One more reference to the loaded shared object that holds address (one of its
    // functions), so that it stays loaded until this reference is freed too, whoever else
    // frees theirs. false when no such object is loaded (the program itself, for one).
    bool LoadHolding(const void* address);
    void Free();
    bool Loaded() const { return FHandle != nullptr; }
    // The exported symbol, or nullptr with LastError set.
    void* Find(const std::string& name);
    template <class TFunction> TFunction FindFunction(const std::string& name) {
        return reinterpret_cast<TFunction>(Find(name));
    }
    // The module handle, an identity only (what a driver registration records).
    void* Handle() const { return FHandle; }
    const std::string& FileName() const { return FFileName; }
    const std::string& LastError() const { return FLastError; }

  private:
    void* FHandle = nullptr;
    std::string FFileName;
    std::string FLastError;
};
