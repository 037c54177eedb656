#include "tasks/task_list_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tasks/file_names.h"
#include "tasks/ini_file.h"
#include "tasks/ini_values.h"
#include "tasks/ui_hooks.h"

namespace {

// The section names; the index follows in decimal.
constexpr const char* kGeneral = "General";
constexpr const char* kTask = "Task";
constexpr const char* kAVICodec = "DestAVICodecInfo";
constexpr const char* kMPEGCodec = "DestMPEGCodecInfo";
constexpr const char* kIdentifier = "Tolvikan";

// A colour that is not hexadecimal: the error that drops one task while the load goes on.
struct TBadTaskValue : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The movie fields of a "Task" section, in file order (after IsItemChecked).
template <class V>
void VisitMovieFields(TCovSettings& t, V& v) {
    v.text("swfFilename", t.swfFilename);
    v.byte("swfFileType", t.swfFileType);
    v.integer("swfFileVersion", t.swfFileVersion);
    v.integer("swfFileSize", t.swfFileSize);
    v.integer("swfW", t.swfW);
    v.integer("swfH", t.swfH);
    v.integer("swfFrameRate", t.swfFrameRate);
    v.integer("swfTotalFrames", t.swfTotalFrames);
}

// The sound and output fields of a "Task" section, in file order.
template <class V>
void VisitSettingsFields(TCovSettings& t, V& v) {
    v.text("adoFilename", t.adoFilename);
    v.byte("adoSource", t.adoSource);
    v.byte("adoFileType", t.adoFileType);
    v.integer("adoWavChannel", t.adoWavChannel);
    v.integer("adoWavBits", t.adoWavBits);
    v.integer("adoWavFreq", t.adoWavFreq);
    v.integer("adoMp3Channel", t.adoMp3Channel);
    v.integer("adoMp3BitRate", t.adoMp3BitRate);
    v.text("destFilename", t.destFilename);
    v.text("destFilepath", t.destFilepath);
    v.byte("destType", t.destType);
    v.byte("destSequenceMode", t.destSequenceMode);
    v.byte("destColorDepth", t.destColorDepth);
    v.byte("destAlphaMode", t.destAlphaMode);
    v.integer("destStartFrame", t.destStartFrame);
    v.integer("destEndFrame", t.destEndFrame);
    v.integer("destW", t.destW);
    v.integer("destH", t.destH);
    v.integer("destCropX", t.destCropX);
    v.integer("destCropY", t.destCropY);
    v.integer("destCropW", t.destCropW);
    v.integer("destCropH", t.destCropH);
    v.flag("destIsCrop", t.destIsCrop);
    v.flag("destIsUseOriginalSize", t.destIsUseOriginalSize);
    v.flag("destIsKeepAspectRatio", t.destIsKeepAspectRatio);
    v.real("destSplitSize", t.destSplitSize);
    v.flag("destIsSplit", t.destIsSplit);
    v.integer("destAVICodec", t.destAVICodec);
    v.integer("destAVIFrameRate", t.destAVIFrameRate);
    v.byte("destMPEGCodec", t.destMPEGCodec);
    v.integer("destMPEGFrameRate", t.destMPEGFrameRate);
    v.integer("destGIFFrameRate", t.destGIFFrameRate);
    v.integer("destGIFRepeatCount", t.destGIFRepeatCount);
    v.colour("destGIFBackgroundColor", t.destGIFBackgroundColor);
    v.colour("destGIFTransparentColor", t.destGIFTransparentColor);
    v.flag("destGIFIsBackground", t.destGIFIsBackground);
    v.flag("destGIFIsTransparent", t.destGIFIsTransparent);
    v.flag("destGIFIsInterlaced", t.destGIFIsInterlaced);
    v.flag("destGIFIsLooping", t.destGIFIsLooping);
    v.byte("destImageType", t.destImageType);
    v.integer("destImageJPEGQuality", t.destImageJPEGQuality);
    v.integer("destVideoCodec", t.destVideoCodec);
    v.integer("destVideoQuality", t.destVideoQuality);
    // Newer than the rest: lists written before it lack the key and take the sound directly.
    v.flag("adoDirect", t.adoDirect);
}

// One 32-bit field of the packed codec block. The block may sit at any address (it is packed, alignment 1),
// so its fields are copied in and out rather than bound to an int32_t reference.
template <class V>
void VisitCodecField(TMclCodecInfo& c, size_t offset, const char* key, bool isBool32, V& v) {
    int32_t value;
    std::memcpy(&value, reinterpret_cast<const char*>(&c) + offset, sizeof value);
    if (isBool32)
        v.bool32(key, value);
    else
        v.integer(key, value);
    std::memcpy(reinterpret_cast<char*>(&c) + offset, &value, sizeof value);
}

// The codec block's keys in file order; codecName (second in the file) only when withName is set, since the
// loader reads it first.
template <class V>
void VisitCodecFields(TMclCodecInfo& c, V& v, bool withName) {
#define TLV_CODEC_FIELD(name, isBool32) VisitCodecField(c, offsetof(TMclCodecInfo, name), #name, isBool32, v)
    TLV_CODEC_FIELD(fileFmtID, false);
    if (withName) v.name("codecName", c.codecName);
    TLV_CODEC_FIELD(codecUsed, true);
    TLV_CODEC_FIELD(codecID, false);
    TLV_CODEC_FIELD(codecMin, false);
    TLV_CODEC_FIELD(codecMax, false);
    TLV_CODEC_FIELD(qualityUsed, true);
    TLV_CODEC_FIELD(quality, false);
    TLV_CODEC_FIELD(qualityMin, false);
    TLV_CODEC_FIELD(qualityMax, false);
    TLV_CODEC_FIELD(bitRateUsed, true);
    TLV_CODEC_FIELD(bitRate, false);
    TLV_CODEC_FIELD(bitRateMin, false);
    TLV_CODEC_FIELD(bitRateMax, false);
    TLV_CODEC_FIELD(byteRateUsed, true);
    TLV_CODEC_FIELD(byteRate, false);
    TLV_CODEC_FIELD(byteRateMin, false);
    TLV_CODEC_FIELD(byteRateMax, false);
    TLV_CODEC_FIELD(keyFrameRateUsed, true);
    TLV_CODEC_FIELD(keyFrameRate, false);
    TLV_CODEC_FIELD(keyFrameRateMin, false);
    TLV_CODEC_FIELD(keyFrameRateMax, false);
#undef TLV_CODEC_FIELD
}

// Writes fields into one section.
class TWriter {
  public:
    TWriter(TIniFile& ini, std::string section, const std::string& decimalSeparator)
        : ini_(ini), section_(std::move(section)), sep_(decimalSeparator) {}
    void text(const char* key, const std::string& v) { put(key, v); }
    void integer(const char* key, int32_t v) { put(key, FormatIniInt(v)); }
    template <class E>
    void byte(const char* key, E v) {
        put(key, FormatIniInt(static_cast<uint8_t>(v)));
    }
    void flag(const char* key, bool v) { put(key, v ? "1" : "0"); }
    void bool32(const char* key, int32_t v) { put(key, v != 0 ? "1" : "0"); }
    void real(const char* key, double v) { put(key, FormatIniFloat(v, sep_)); }
    void colour(const char* key, uint32_t v) { put(key, FormatIniColor(v)); }
    void name(const char* key, const char (&v)[128]) { put(key, std::string(v, strnlen(v, sizeof v))); }

  private:
    void put(const char* key, const std::string& value) { ini_.write(section_, key, value); }
    TIniFile& ini_;
    std::string section_;
    const std::string& sep_;
};

// Reads fields from one section, each with the field's current value as fallback.
class TReader {
  public:
    TReader(const TIniFile& ini, std::string section, const std::string& decimalSeparator)
        : ini_(ini), section_(std::move(section)), sep_(decimalSeparator) {}
    void text(const char* key, std::string& v) {
        if (auto s = get(key)) v = *s;
    }
    void integer(const char* key, int32_t& v) { v = readInt(key, v); }
    template <class E>
    void byte(const char* key, E& v) {
        // 8-bit fields keep the low 8 bits of the number: swfFileType 260 becomes 4.
        v = static_cast<E>(static_cast<uint8_t>(readInt(key, static_cast<uint8_t>(v))));
    }
    void flag(const char* key, bool& v) { v = readInt(key, v ? 1 : 0) != 0; }
    void bool32(const char* key, int32_t& v) { v = readInt(key, v != 0 ? 1 : 0) != 0 ? -1 : 0; }
    void real(const char* key, double& v) {
        if (auto s = get(key))
            if (auto d = ParseIniFloat(*s, sep_)) v = *d;
    }
    void colour(const char* key, uint32_t& v) {
        auto s = get(key);
        if (!s) return;
        auto c = ParseIniColor(*s);
        if (!c) throw TBadTaskValue(section_ + "." + key + " is not a hexadecimal colour: \"" + *s + "\"");
        v = *c;
    }
    void name(const char* key, char (&v)[128]) {
        auto s = get(key);
        if (!s) return;
        // At most 127 bytes and the NUL; a longer name is cut before a UTF-8 character that would not fit.
        size_t n = s->size();
        if (n > sizeof v - 1) {
            n = sizeof v - 1;
            while (n > 0 && (static_cast<unsigned char>((*s)[n]) & 0xC0) == 0x80)
                --n;
        }
        std::memset(v, 0, sizeof v);
        std::memcpy(v, s->data(), n);
    }
    int32_t readInt(const char* key, int32_t fallback) {
        auto s = get(key);
        if (!s) return fallback;
        return ParseIniInt(*s).value_or(fallback);
    }
    std::optional<std::string> get(const char* key) const { return ini_.read(section_, key); }

  private:
    const TIniFile& ini_;
    std::string section_;
    const std::string& sep_;
};

bool IsExistingFile(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path), ec);
}

// One task of the file, or nullptr when it is dropped (steps 3.1 to 3.5).
std::unique_ptr<TCovSettings> ReadTask(const TIniFile& ini, int i, const TaskListOptions& options,
                                       bool& checked) {
    const std::string index = std::to_string(i);
    TReader task(ini, kTask + index, options.decimalSeparator);
    auto movie = task.get("swfFilename");
    if (!movie || !IsExistingFile(*movie)) return nullptr;

    auto record = std::make_unique<TCovSettings>();
    TCovSettings& t = *record;
    task.text("swfFilename", t.swfFilename);
    task.byte("swfFileType", t.swfFileType);
    task.integer("swfFileVersion", t.swfFileVersion);
    task.integer("swfFileSize", t.swfFileSize);
    task.integer("swfW", t.swfW);
    task.integer("swfH", t.swfH);
    t.swfFrameRate = task.readInt("swfFrameRate", 1);
    task.integer("swfTotalFrames", t.swfTotalFrames);

    FillTaskDefaults(t, t.swfFilename, false, options.codecs);

    VisitSettingsFields(t, task);
    for (auto [prefix, block] :
         {std::pair{kAVICodec, &t.DestAVICodecInfo}, std::pair{kMPEGCodec, &t.DestMPEGCodecInfo}}) {
        TReader codec(ini, prefix + index, options.decimalSeparator);
        codec.name("codecName", block->codecName);
        VisitCodecFields(*block, codec, false);
    }
    checked = task.readInt("IsItemChecked", 1) != 0;
    return record;
}

std::string ReadWholeFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.exists()) return {};
    if (!file.open(QIODevice::ReadOnly))
        throw TaskListError("Cannot read the task list \"" + path +
                            "\": " + file.errorString().toStdString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TaskListError("Cannot read the task list \"" + path +
                            "\": " + file.errorString().toStdString());
    return bytes.toStdString();
}

}  // namespace

std::string TaskListOptions::SystemDecimalSeparator() {
    return QLocale::system().decimalPoint().toStdString();
}

std::string TaskListFilePathFor(const std::string& exePath, bool exeFolderWritable,
                                const std::string& xdgConfigHome, const std::string& home) {
    if (!exePath.empty() && exeFolderWritable) return ChangeFileExt(exePath, ".ini");
    // XDG Base Directory: a relative XDG_CONFIG_HOME is invalid and ignored.
    std::string base =
        !xdgConfigHome.empty() && xdgConfigHome.front() == '/' ? xdgConfigHome : home + "/.config";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/tolvikan/tolvikan.ini";
}

std::string TaskListFilePath() {
    std::string exe;
    if (QCoreApplication::instance()) {
        exe = QCoreApplication::applicationFilePath().toStdString();
    } else {
        std::error_code ec;
        exe = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    }
    const std::string folder = ExtractFilePath(exe);
    const bool writable = !folder.empty() && ::access(folder.c_str(), W_OK) == 0;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string homeDir = home && *home ? home : QDir::homePath().toStdString();
    return TaskListFilePathFor(exe, writable, xdg ? xdg : "", homeDir);
}

std::string TaskListText(const std::vector<TaskListItemRef>& items, const TaskListOptions& options) {
    TIniFile ini;
    int count = 0;
    for (const TaskListItemRef& item : items)
        if (item.task) ++count;
    ini.write(kGeneral, "ID", kIdentifier);
    ini.write(kGeneral, "TaskCount", FormatIniInt(count));
    int i = 0;
    for (const TaskListItemRef& item : items) {
        if (!item.task) continue;
        // The visitors take non-const references for the loader's sake; the writer only reads.
        TCovSettings copy = *item.task;
        const std::string index = std::to_string(i++);
        TWriter task(ini, kTask + index, options.decimalSeparator);
        task.flag("IsItemChecked", item.checked);
        VisitMovieFields(copy, task);
        VisitSettingsFields(copy, task);
        TWriter avi(ini, kAVICodec + index, options.decimalSeparator);
        VisitCodecFields(copy.DestAVICodecInfo, avi, true);
        TWriter mpeg(ini, kMPEGCodec + index, options.decimalSeparator);
        VisitCodecFields(copy.DestMPEGCodecInfo, mpeg, true);
        ProcessPendingMessages();
    }
    return ini.text();
}

void SaveTaskList(const std::string& path, const std::vector<TaskListItemRef>& items,
                  const TaskListOptions& options) {
    const std::string text = TaskListText(items, options);
    const QString qpath = QString::fromStdString(path);
    const QString folder = QFileInfo(qpath).absolutePath();
    if (!QDir().mkpath(folder))
        throw TaskListError("Cannot save the task list \"" + path + "\": cannot create the folder \"" +
                            folder.toStdString() + "\"");
    // QSaveFile writes a temporary file beside the target and renames it over the old list on commit, so a
    // failed save leaves the old list whole.
    QSaveFile file(qpath);
    if (!file.open(QIODevice::WriteOnly))
        throw TaskListError("Cannot save the task list \"" + path +
                            "\": " + file.errorString().toStdString());
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        std::string why = file.errorString().toStdString();
        file.cancelWriting();
        throw TaskListError("Cannot save the task list \"" + path + "\": " + why);
    }
    if (!file.commit())
        throw TaskListError("Cannot save the task list \"" + path +
                            "\": " + file.errorString().toStdString());
}

void SaveTaskList(const std::string& path, const std::vector<TaskListEntry>& entries,
                  const TaskListOptions& options) {
    std::vector<TaskListItemRef> items;
    items.reserve(entries.size());
    for (const TaskListEntry& e : entries)
        items.push_back({e.task.get(), e.checked});
    SaveTaskList(path, items, options);
}

std::vector<TaskListEntry> LoadTaskListText(const std::string& text, const TaskListOptions& options) {
    std::vector<TaskListEntry> list;
    const TIniFile ini = TIniFile::Parse(text);
    int n = TReader(ini, kGeneral, options.decimalSeparator).readInt("TaskCount", 0);
    // A task needs its own section, so no more tasks than sections can load: a hostile TaskCount near 2^31
    // must not keep the window busy for minutes.
    if (static_cast<size_t>(std::max(n, 0)) > ini.sectionCount()) n = static_cast<int>(ini.sectionCount());
    for (int i = 0; i < n; ++i) {
        try {
            bool checked = true;
            std::unique_ptr<TCovSettings> task = ReadTask(ini, i, options, checked);
            if (task) list.push_back({std::move(task), checked});
        } catch (const std::exception&) {
            // Any error while one task is read (a colour that is not hexadecimal, TBadTaskValue) drops that
            // task; its record is already freed by its unique_ptr. Loading goes on with the next task.
        }
        ProcessPendingMessages();
    }
    return list;
}

std::vector<TaskListEntry> LoadTaskList(const std::string& path, const TaskListOptions& options) {
    std::vector<TaskListEntry> list = LoadTaskListText(ReadWholeFile(path), options);
    if (options.setRecordingSource) options.setRecordingSource();
    return list;
}
