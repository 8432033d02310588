#pragma once
// An environment variable set (or, with nullptr, removed) for a scope, for the platform tests.
#include <cstdlib>
#include <optional>
#include <string>

class TScopedVariable {
  public:
    TScopedVariable(const char* name, const char* value) : FName(name) {
        if (const char* old = std::getenv(name)) FOld = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TScopedVariable() {
        if (FOld)
            setenv(FName, FOld->c_str(), 1);
        else
            unsetenv(FName);
    }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

  private:
    const char* FName;
    std::optional<std::string> FOld;
};
