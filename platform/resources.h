#pragma once
// The program's own resources, compiled in with Qt's resource system under ":/" + type + "/"
// + name. Types are "JPEG", "PNG", "WAVE" and "BITMAP"; names are looked up upper-cased, as
// the resource compiler of the original stored them.
#include <QByteArray>
#include <string>
#include <vector>

bool FindResource(const std::string& type, const std::string& name, QByteArray* data = nullptr);
bool ResourceExists(const std::string& type, const std::string& name);
// The names of one type's resources, sorted.
std::vector<std::string> ResourceNames(const std::string& type);
// The Qt resource path of a resource, whether it exists or not.
std::string ResourcePath(const std::string& type, const std::string& name);
