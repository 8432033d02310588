#pragma once
// The server's data folder: the database, the files an operator edits (news.txt, errors.txt,
// errors/*.html, version.txt) and the received reports. Missing files are filled with our
// content when the server starts; files that exist are never overwritten.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TDataFolder {
  public:
    explicit TDataFolder(std::filesystem::path root);

    const std::filesystem::path& Root() const { return FRoot; }
    std::string DatabaseFile() const { return (FRoot / "crumble.db").string(); }
    std::filesystem::path ReportsFolder() const { return FRoot / "reports"; }

    // "errors.txt", "version.txt", "news.txt" or "errors/" + a page name; nothing when the
    // file is missing or the name could leave its folder.
    std::optional<std::string> Read(std::string_view relative) const;
    // The lines of news.txt that are not empty, newest (first) first.
    std::vector<std::string> News() const;

  private:
    void FillMissing() const;
    std::filesystem::path FRoot;
};

// A page name of errors/: letters, digits, ".", "-" and "_", not starting with a dot.
bool IsSafeFileName(std::string_view name);
// The content type for a file name, by its extension.
std::string ContentTypeFor(std::string_view name);
