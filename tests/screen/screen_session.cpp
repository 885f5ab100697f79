#include "screen_session.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

namespace screen {
namespace {

// The fonts the picture is drawn with, from Debian's fonts-liberation: metric twins of the
// Windows faces the window asks for ("MS Sans Serif" has no free twin; Arial's stands in).
const char* const kFontDir = "/usr/share/fonts/truetype/liberation/";
const char* const kFontFiles[] = {"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf",
                                  "LiberationSansNarrow-Regular.ttf",
                                  "LiberationSansNarrow-Bold.ttf"};

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a command and returns its standard output.
std::string capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) out.append(buffer, n);
    return out;
}

}  // namespace

ScreenSession::ScreenSession(std::string program, std::string pluginDir, std::string outputDir)
    : programPath_(std::move(program)),
      pluginDir_(std::move(pluginDir)),
      outputDir_(std::move(outputDir)) {
    if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
    QDir().mkpath(QString::fromStdString(runtimeDir()));
    QFile::setPermissions(QString::fromStdString(runtimeDir()),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(QString::fromStdString(outputDir_));
    // Xvfb picks a free display and writes its number on standard output.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.emplace_back(*e);
    try {
        xvfb_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{
                "Xvfb", "-displayfd", "1", "-screen", "0",
                std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24", "-dpi",
                "96", "-nolisten", "tcp", "-noreset"},
            environment, outputDir_ + "/xvfb.log", true);
    } catch (const std::runtime_error& e) {
        throw XvfbUnavailable(e.what());
    }
    const std::optional<std::string> line = readLine(xvfb_->stdoutFd(), std::chrono::seconds(20));
    if (!line || line->empty() || line->find_first_not_of("0123456789") != std::string::npos)
        throw XvfbUnavailable("Xvfb gave no display number; see " + outputDir_ + "/xvfb.log");
    display_ = std::stoi(*line);
}

ScreenSession::~ScreenSession() {
    if (program_) program_->stop();
    if (windowManager_) windowManager_->stop();
    if (xvfb_) xvfb_->stop();
}

void ScreenSession::startWindowManager() {
    std::vector<std::string> environment = {
        "PATH=/usr/bin:/bin", "HOME=" + path("home"), "DISPLAY=" + displayName(),
        "XDG_CONFIG_HOME=" + path("home") + "/.config", "XDG_RUNTIME_DIR=" + runtimeDir()};
    QDir().mkpath(QString::fromStdString(path("home")));
    windowManager_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"openbox", "--sm-disable"}, environment,
        outputDir_ + "/openbox.log");
    // A window manager announces itself on the root window.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (capture("xprop -display " + displayName() + " -root _NET_SUPPORTING_WM_CHECK 2>&1")
               .find("window id") == std::string::npos) {
        if (!windowManager_->running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("openbox did not start; see " + outputDir_ + "/openbox.log");
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string ScreenSession::path(const char* name) const {
    return dir_.filePath(QString::fromUtf8(name)).toStdString();
}

void ScreenSession::writeFontConfig() const {
    QDir().mkpath(QString::fromStdString(path("fonts")));
    for (const char* file : kFontFiles) {
        const std::string source = std::string(kFontDir) + file;
        if (!QFile::exists(QString::fromStdString(source)))
            throw std::runtime_error("font missing: " + source + " (package fonts-liberation)");
        QFile::link(QString::fromStdString(source),
                    QString::fromStdString(path("fonts") + "/" + file));
    }
    // Only these fonts exist for the program; hinting and smoothing are fixed so that the
    // picture does not depend on the machine's own font settings.
    writeFile(path("fonts.conf"), R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>)" + path("fonts") + R"(</dir>
  <cachedir>)" + path("fontcache") + R"(</cachedir>
  <alias binding="same"><family>MS Sans Serif</family><prefer><family>Liberation Sans</family></prefer></alias>
  <alias binding="same"><family>Arial Narrow</family><prefer><family>Liberation Sans Narrow</family></prefer></alias>
  <alias binding="same"><family>sans-serif</family><prefer><family>Liberation Sans</family></prefer></alias>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="autohint" mode="assign"><bool>false</bool></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
    <edit name="embeddedbitmap" mode="assign"><bool>false</bool></edit>
  </match>
</fontconfig>
)");
}

void ScreenSession::startProgram(const std::vector<std::string>& settingsLines,
                                 const std::vector<std::string>& extraEnvironment) {
    // The installation-directory entry and the settings file in it.
    const std::string install = path("install");
    QDir().mkpath(QString::fromStdString(install));
    QDir().mkpath(QString::fromStdString(path("xdg/Ostrel")));
    writeFile(path("xdg/Ostrel/Quorvan2021.conf"), "Directorio=" + install + "\n");
    std::string settings;
    for (const std::string& line : settingsLines) settings += line + "\r\n";
    writeFile(install + "/settings.conf", settings);

    writeFontConfig();
    for (const char* d : {"home", "work"}) QDir().mkpath(QString::fromStdString(path(d)));

    const std::string tree = outputDir_ + "/widgets.json";
    QFile::remove(QString::fromStdString(tree));
    QFile::remove(QString::fromStdString(outputDir_ + "/program.log"));
    // Nothing of the caller's desktop may reach the program: no platform theme, style,
    // scaling or font settings but these.
    std::vector<std::string> environment = {
        "PATH=/usr/bin:/bin",
        "HOME=" + path("home"),
        "XDG_CONFIG_HOME=" + path("home") + "/.config",
        "XDG_CACHE_HOME=" + path("home") + "/.cache",
        "XDG_DATA_HOME=" + path("home") + "/.local/share",
        "XDG_CONFIG_DIRS=" + path("xdg"),
        "XDG_RUNTIME_DIR=" + runtimeDir(),
        "DISPLAY=" + displayName(),
        "LANG=C.UTF-8",
        "LC_ALL=C.UTF-8",
        "QT_QPA_PLATFORM=xcb",
        "QT_QPA_PLATFORMTHEME=generic",
        "QT_STYLE_OVERRIDE=Fusion",
        "QT_ENABLE_HIGHDPI_SCALING=0",
        "FONTCONFIG_FILE=" + path("fonts.conf"),
        "QT_PLUGIN_PATH=" + pluginDir_,
        "QT_QPA_GENERIC_PLUGINS=importarfac-inspect:" + tree,
    };
    for (const std::string& extra : extraEnvironment) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        environment.push_back(extra);
    }
    program_ = std::make_unique<ChildProcess>(std::vector<std::string>{programPath_}, environment,
                                              outputDir_ + "/program.log", false, path("work"));
}

QJsonObject ScreenSession::waitForWidgetTree(std::chrono::milliseconds timeout) {
    const QString tree = QString::fromStdString(outputDir_ + "/widgets.json");
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!QFile::exists(tree)) {
        if (!programRunning())
            throw std::runtime_error("the program ended before its window was up; log:\n" +
                                     programLog());
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("no window came up; log:\n" + programLog());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    QFile file(tree);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read the widget tree");
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        throw std::runtime_error("widget tree: " + error.errorString().toStdString());
    return document.object();
}

std::string ScreenSession::programLog() const {
    return readFile(outputDir_ + "/program.log");
}

std::vector<XWindow> ScreenSession::topLevelWindows() const {
    // Lines such as:  0x200006 "Title": ("res" "class")  412x455+306+156  +306+156
    static const std::regex child(
        R"re(^\s+(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)):.*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+([+-]-?\d+)([+-]-?\d+)\s*$)re");
    std::vector<XWindow> windows;
    std::istringstream tree(capture("xwininfo -display " + displayName() + " -root -children"));
    for (std::string line; std::getline(tree, line);) {
        std::smatch m;
        if (!std::regex_match(line, m, child)) continue;
        XWindow w{m[1], m[2], std::stoi(m[5]), std::stoi(m[6]), std::stoi(m[3]), std::stoi(m[4])};
        const std::string info = capture("xwininfo -display " + displayName() + " -id " + w.id);
        w.viewable = info.find("Map State: IsViewable") != std::string::npos;
        windows.push_back(w);
    }
    return windows;
}

}  // namespace screen
