#pragma once
// crumble-tool publish | report send | version check | errors match | cs decode | record decode:
// the online services of the menu without its windows. The commands that talk to a server take
// --webserver URL, --scoreserver URL and --mailserver HOST:PORT before or after their
// arguments; otherwise prog.cfg and the built-in addresses count, as for the program.
#include <string>
#include <vector>

// publish ENV.DAT: the best score of the settings file, as the dialog sends it unchanged.
int Publish(const std::vector<std::string>& args);
// report send --from ADDR --text TEXT [--log FILE]
int ReportSend(const std::vector<std::string>& args);
// version check
int VersionCheck(const std::vector<std::string>& args);
// errors match LOG ERRORS.TXT
int ErrorsMatch(const std::vector<std::string>& args);
// cs decode TEXT
int CsDecode(const std::vector<std::string>& args);
// record decode TEXT: the 55 digits of a disguised game record and every field by name.
int RecordDecode(const std::vector<std::string>& args);
