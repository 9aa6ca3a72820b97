// The stand-in release host and the other real-process helpers of the update tests.
#include "update/host_support.h"

#include "plat/clock.h"
#include "plat/http.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace qmupdate {

std::string repoFile(const std::string& relative) {
    return (fs::path(QM_SOURCE_DIR) / relative).string();
}

void putFile(const std::string& path, const std::string& text, bool executable) {
    fs::create_directories(fs::path(path).parent_path());
    TempDir::writeTo(path, text);
    if (executable) fs::permissions(path, fs::perms(0755));
}

void makeOldRelease(const std::string& release) {
    putFile(release + "/qm-launcher", "#!/bin/sh\n");
    putFile(release + "/source/release.ini", "[release]\nversion = 0.6.1\ncommit = 1111\n");
    fs::create_directories(release + "/source/tools");
    fs::copy_file(repoFile("release_kit/source/tools/apply_update.py"),
                  release + "/source/tools/apply_update.py");
    putFile(release + "/CHANGELOG.md", "# Changelog\n\n## [0.6.1]\n- Old.\n");
}

Finished runToEnd(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workDir) {
    Finished done;
    plat::Process p;
    std::string err;
    if (!p.start(program, args, workDir, true, err)) {
        ADD_FAILURE() << "cannot start " << program << ": " << err;
        return done;
    }
    const double guard = plat::now() + 120;
    while (p.running() && plat::now() < guard)
        plat::sleepMs(10);
    EXPECT_FALSE(p.running()) << program << " still runs after the guard time";
    p.waitOutput(5000);
    done.lines = p.takeLines();
    done.exitCode = p.exitCode();
    return done;
}

// --- the release host ----------------------------------------------------------------------------

ReleaseHost::ReleaseHost(const std::vector<std::string>& options, bool https) : https_(https) {
    std::vector<std::string> args = {repoFile("fixtures/release_host.py")};
    args.insert(args.end(), options.begin(), options.end());
    std::string err;
    if (!process_.start(kPython, args, "", true, err)) {
        ADD_FAILURE() << "cannot start the release host: " << err;
        return;
    }
    const double guard = plat::now() + 30;
    while (plat::now() < guard) {
        for (const std::string& line : process_.takeLines()) {
            int port = 0;
            if (sscanf(line.c_str(), "listening on %d", &port) == 1) port_ = port;
        }
        if (port_ != 0 || !process_.running()) break;
        plat::sleepMs(10);
    }
    if (port_ == 0) ADD_FAILURE() << "the release host did not report its port";
}

std::string ReleaseHost::base() const {
    return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string ReleaseHost::control(const std::string& what, const std::string& query) {
    std::string body, err;
    long status = 0;
    bool ok = plat::httpGet(base() + "/_control/" + what + "?" + query, "qm-test", body, status,
                            err, 1 << 24);
    EXPECT_TRUE(ok && status == 200) << what << "?" << query << ": " << err << " " << status;
    return body;
}

void ReleaseHost::fault(const std::string& name, const std::string& match, const std::string& to) {
    control("fault",
            "name=" + urlEncode(name) + "&match=" + urlEncode(match) + "&to=" + urlEncode(to));
}

void ReleaseHost::latest(int status, const std::string& body) {
    control("latest", "status=" + std::to_string(status) + "&body=" + urlEncode(body));
}

std::vector<std::string> ReleaseHost::log() {
    std::vector<std::string> paths;
    std::string text = control("log");
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find('\n', i);
        if (end == std::string::npos) end = text.size();
        paths.push_back(text.substr(i, end - i));
        i = end + 1;
    }
    return paths;
}

void ReleaseHost::stop() {
    process_.kill();
    const double guard = plat::now() + 30;
    while (process_.running() && plat::now() < guard)
        plat::sleepMs(10);
}

std::string urlEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool makeCertificate(const std::string& folder, const std::string& san, std::string& cert,
                     std::string& key) {
    cert = (fs::path(folder) / "cert.pem").string();
    key = (fs::path(folder) / "key.pem").string();
    Finished made =
        runToEnd("/usr/bin/openssl",
                 {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-keyout", key,
                  "-out", cert, "-subj", "/CN=qm-test", "-addext", "subjectAltName=" + san});
    return made.exitCode == 0 && fs::exists(cert) && fs::exists(key);
}

// --- file trees ----------------------------------------------------------------------------------

std::map<std::string, std::string> treeOf(const std::string& root,
                                          const std::vector<std::string>& skipTop) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path rel = fs::relative(it->path(), root);
        if (it.depth() == 0 &&
            std::find(skipTop.begin(), skipTop.end(), rel.string()) != skipTop.end()) {
            it.disable_recursion_pending();
            continue;
        }
        const fs::file_status st = it->symlink_status();
        std::string value = std::to_string(int(st.type())) + " " +
                            std::to_string(int(st.permissions() & fs::perms::mask)) + " ";
        if (fs::is_symlink(st))
            value += fs::read_symlink(it->path()).string();
        else if (fs::is_regular_file(st))
            value += readBytes(it->path().string());
        tree[rel.generic_string()] = value;
    }
    return tree;
}

} // namespace qmupdate
