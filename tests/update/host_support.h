// Shared by the update tests: the stand-in release host (fixtures/release_host.py) as a real child
// process on 127.0.0.1, Python scripts run to their end, and small helpers for real files.
#pragma once

#include "plat/process.h"

#include <map>
#include <string>
#include <vector>

namespace qmupdate {

inline const std::string kPython = "/usr/bin/python3";
inline const std::string kLatestPath = "/repos/Kettlewise/ZO_Duzoru/releases/latest";
inline const std::string kDownloadPath = "/Kettlewise/ZO_Duzoru/releases/download/";

// A script of the repository, by its path from the root.
std::string repoFile(const std::string& relative);

// Writes text to path, making its folders first.
void putFile(const std::string& path, const std::string& text, bool executable = false);

// A release 0.6.1 in folder release with the launcher's stand-in, the installer and a changelog:
// what publish_070.py publishes 0.7.0 from.
void makeOldRelease(const std::string& release);

struct Finished {
    int exitCode = -1;
    std::vector<std::string> lines;
};
// Runs program with args (captured) to its end, within a guard time; fails the test otherwise.
Finished runToEnd(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workDir = "");

// release_host.py with these options, listening on a free port until the object goes.
class ReleaseHost {
public:
    explicit ReleaseHost(const std::vector<std::string>& options = {}, bool https = false);
    bool started() const { return port_ != 0; }
    int port() const { return port_; }
    // "http://127.0.0.1:PORT" (https for a TLS host).
    std::string base() const;
    // A GET of /_control/<what>?<query>; the answer's body.
    std::string control(const std::string& what, const std::string& query = "");
    void fault(const std::string& name, const std::string& match = "", const std::string& to = "");
    void clearFaults() { control("fault", "name=none"); }
    // Answers the latest-release query with this status and body from now on.
    void latest(int status, const std::string& body);
    // The paths asked for so far, oldest first.
    std::vector<std::string> log();
    // Ends the host and waits until it is gone.
    void stop();

private:
    plat::Process process_;
    int port_ = 0;
    bool https_ = false;
};

std::string urlEncode(const std::string& text);

// A self-signed certificate and its key in folder, for subjectAltName san (e.g. "IP:127.0.0.1").
bool makeCertificate(const std::string& folder, const std::string& san, std::string& cert,
                     std::string& key);

// {relative path: kind, permission bits and content} of everything below root, except the folders
// named in skipTop directly inside it.
std::map<std::string, std::string> treeOf(const std::string& root,
                                          const std::vector<std::string>& skipTop = {"update"});

} // namespace qmupdate
