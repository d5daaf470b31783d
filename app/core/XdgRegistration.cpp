#include "app/core/XdgRegistration.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/DebugLog.h"

extern char** environ;

namespace tamboro::app {
namespace {

const char* Env(EnvFn getenv, const char* name) {
    const char* v = getenv != nullptr ? getenv(name) : std::getenv(name);
    return v != nullptr && *v != '\0' ? v : nullptr;
}

std::string HomeFolder(EnvFn getenv, const char* variable, const char* fallback) {
    if (const char* v = Env(getenv, variable); v != nullptr && v[0] == '/') return v;
    if (const char* home = Env(getenv, "HOME")) return std::string(home) + fallback;
    return {};
}

std::string ReadFile(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    *ok = static_cast<bool>(in);
    return *ok ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string();
}

bool HaveTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string folder(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (!folder.empty() && ::access((folder + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

bool RunTool(const std::string& tool, const std::string& folder) {
    if (!HaveTool(tool)) return false;
    std::string arg0 = tool;
    std::string arg1 = folder;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, tool.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

bool Under(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

}  // namespace

std::string XdgDataHome(EnvFn getenv) {
    return HomeFolder(getenv, "XDG_DATA_HOME", "/.local/share");
}

std::string XdgConfigHome(EnvFn getenv) {
    return HomeFolder(getenv, "XDG_CONFIG_HOME", "/.config");
}

std::string XdgTemplatesFolder(EnvFn getenv) {
    const std::string config = XdgConfigHome(getenv);
    if (config.empty()) return {};
    bool ok = false;
    const std::string text = ReadFile(config + "/user-dirs.dirs", &ok);
    if (!ok) return {};
    const char* home = Env(getenv, "HOME");
    std::string_view rest(text);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        constexpr std::string_view kKey = "XDG_TEMPLATES_DIR=\"";
        if (!line.starts_with(kKey) || !line.ends_with('"')) continue;
        std::string_view value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
        std::string folder;
        if (value.starts_with("$HOME")) {
            if (home == nullptr) return {};
            folder = std::string(home) + std::string(value.substr(5));
        } else {
            folder = std::string(value);
        }
        // "$HOME/" alone means the feature is switched off.
        if (folder.empty() || folder.front() != '/' ||
            (home != nullptr && (folder == home || folder == std::string(home) + "/")))
            return {};
        return folder;
    }
    return {};
}

std::string DesktopExec(const std::string& program) {
    // Exec quoting: inside double quotes '"', '`', '$' and '\' take a
    // backslash; then the key's value escapes every backslash once more.
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += '\\';
        value += c;
    }
    std::string percent;
    for (char c : value) {
        percent += c;
        if (c == '%') percent += '%';  // a literal % is written %%
    }
    return percent + " %f";
}

std::string MimePackage() {
    return std::string(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"") +
           kSongMimeType +
           "\">\n"
           "    <comment>Tamboro File</comment>\n"
           "    <comment xml:lang=\"it\">Brano di Tamboro</comment>\n"
           "    <generic-icon name=\"audio-x-generic\"/>\n"
           "    <icon name=\"" +
           kIconName +
           "\"/>\n"
           "    <magic priority=\"60\">\n"
           "      <match type=\"string\" offset=\"0\" value=\"UNFM\"/>\n"
           "    </magic>\n"
           "    <glob pattern=\"*.tbo\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

std::string DesktopEntry(const std::string& program) {
    return std::string(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Tamboro\n"
               "GenericName=Loop Mixer\n"
               "GenericName[it]=Mixer di loop\n"
               "Comment=Build music live from sampled loops\n"
               "Comment[it]=Musica dal vivo con loop campionati\n"
               "Exec=") +
           DesktopExec(program) +
           "\n"
           "Icon=" +
           kIconName +
           "\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Audio;Music;\n"
           "MimeType=" +
           kSongMimeType +
           ";\n"
           "StartupNotify=true\n";
}

std::vector<RegistrationFile> RegistrationFiles(const std::string& dataHome,
                                                const std::string& templatesFolder,
                                                const std::string& program,
                                                const std::vector<IconImage>& icons,
                                                const std::string& emptySong) {
    std::vector<RegistrationFile> files;
    if (!dataHome.empty()) {
        files.push_back({dataHome + "/mime/packages/tamboro.xml", MimePackage()});
        files.push_back({dataHome + "/applications/" + kDesktopId, DesktopEntry(program)});
        for (const IconImage& icon : icons) {
            if (icon.png.empty() || icon.size <= 0) continue;
            const std::string size = std::to_string(icon.size);
            files.push_back(
                {dataHome + "/icons/hicolor/" + size + "x" + size + "/apps/" + kIconName + ".png",
                 icon.png});
        }
    }
    if (!templatesFolder.empty() && !emptySong.empty())
        files.push_back({templatesFolder + "/Tamboro.tbo", emptySong});
    return files;
}

std::vector<std::string> WriteChangedFiles(const std::vector<RegistrationFile>& files) {
    namespace fs = std::filesystem;
    std::vector<std::string> written;
    for (const RegistrationFile& f : files) {
        bool ok = false;
        if (ReadFile(f.path, &ok) == f.bytes && ok) continue;
        std::error_code ec;
        fs::create_directories(fs::path(f.path).parent_path(), ec);
        const std::string temp = f.path + ".new";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
            out.close();
            if (!out) {
                platform::DebugLog("registration: cannot write %s", temp.c_str());
                fs::remove(temp, ec);
                continue;
            }
        }
        fs::rename(temp, f.path, ec);
        if (ec) {
            platform::DebugLog("registration: cannot replace %s", f.path.c_str());
            fs::remove(temp, ec);
            continue;
        }
        written.push_back(f.path);
    }
    return written;
}

int RefreshDesktopDatabases(const std::string& dataHome, const std::vector<std::string>& written) {
    if (dataHome.empty()) return 0;
    bool mime = false, desktop = false;
    for (const std::string& path : written) {
        mime = mime || Under(path, dataHome + "/mime");
        desktop = desktop || Under(path, dataHome + "/applications");
    }
    int ran = 0;
    if (mime && RunTool("update-mime-database", dataHome + "/mime")) ++ran;
    if (desktop && RunTool("update-desktop-database", dataHome + "/applications")) ++ran;
    return ran;
}

}  // namespace tamboro::app
