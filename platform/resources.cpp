#include "platform/resources.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

} // namespace

std::string ResourcePath(const std::string& type, const std::string& name) {
    return ":/" + Upper(type) + "/" + Upper(name);
}

bool FindResource(const std::string& type, const std::string& name, QByteArray* data) {
    if (name.empty()) return false;
    QFile file(QString::fromStdString(ResourcePath(type, name)));
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (data) *data = file.readAll();
    return true;
}

bool ResourceExists(const std::string& type, const std::string& name) {
    return !name.empty() && QFile::exists(QString::fromStdString(ResourcePath(type, name)));
}

std::vector<std::string> ResourceNames(const std::string& type) {
    const QDir folder(QString::fromStdString(":/" + Upper(type)));
    std::vector<std::string> names;
    for (const QString& entry : folder.entryList(QDir::Files, QDir::Name))
        names.push_back(entry.toStdString());
    return names;
}
