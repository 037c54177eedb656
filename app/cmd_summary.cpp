#include "app/cmd_summary.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <set>

#include "app/json_text.h"

namespace cli {

std::string readSummaryFile(const std::string& path, TSummaryFile* summary) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return "cannot be read: " + file.errorString().toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (doc.isNull()) return "not JSON: " + error.errorString().toStdString();
    const QJsonObject root = doc.object();
    const QJsonValue tasks = root.value("tasks");
    if (!doc.isObject() || !tasks.isArray()) return "not a summary of tolvikan convert (no \"tasks\" list)";
    *summary = TSummaryFile{};
    summary->shard = root.value("shard").toInt();
    summary->shardCount = root.value("shardCount").toInt();
    summary->interrupted = root.value("interrupted").toBool();
    for (const QJsonValue& v : tasks.toArray()) {
        const QJsonObject t = v.toObject();
        const std::string reason = t.value("reason").toString().toStdString();
        // A task that ended with a reason was stopped: its file holds the frames so far under its partial
        // name, which is not a converted movie (summaries written before said "done" of it).
        summary->tasks.push_back(
            {t.value("movie").toString().toStdString(), t.value("output").toString().toStdString(),
             t.value("done").toBool() && reason.empty(), t.value("kept").toBool(), reason});
    }
    return "";
}

int runSummary(const std::vector<std::string>& args) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "-h" || a == "--help") {
            std::fputs(
                "usage: tolvikan summary [--json] FILE.json...\n"
                "merges the files of tolvikan convert --summary: one line per task (converted or failed, "
                "movie,\noutput or reason, tab-separated), then the totals and the shards that left no "
                "summary\n",
                stdout);
            return 0;
        }
        if (a == "--json")
            json = true;
        else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "tolvikan summary: unknown option %s\n", a.c_str());
            return 2;
        } else
            files.push_back(a);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: tolvikan summary [--json] FILE.json...\n");
        return 2;
    }
    int done = 0, failed = 0, kept = 0, status = 0;
    int shardCount = 0;
    std::set<int> shardsSeen;
    for (const std::string& path : files) {
        TSummaryFile s;
        const std::string error = readSummaryFile(path, &s);
        if (!error.empty()) {
            std::fprintf(stderr, "tolvikan summary: %s: %s\n", path.c_str(), error.c_str());
            status = 2;
            continue;
        }
        if (s.shardCount > 0) {
            shardCount = std::max(shardCount, s.shardCount);
            shardsSeen.insert(s.shard);
        }
        for (const TSummaryTask& t : s.tasks) {
            (t.done ? done : t.kept ? kept : failed)++;
            if (json)
                std::printf("{\"movie\":%s,\"output\":%s,\"done\":%s,\"kept\":%s,\"reason\":%s}\n",
                            jsonQuote(t.movie).c_str(), jsonQuote(t.output).c_str(),
                            t.done ? "true" : "false", t.kept ? "true" : "false",
                            jsonQuote(t.reason).c_str());
            else if (t.done)
                std::printf("converted\t%s\t%s\n", t.movie.c_str(), t.output.c_str());
            else if (t.kept)
                std::printf("kept\t%s\t%s\n", t.movie.c_str(), t.output.c_str());
            else
                std::printf("failed\t%s\t%s\n", t.movie.c_str(), t.reason.c_str());
        }
    }
    std::vector<int> missing;
    for (int i = 1; i <= shardCount; ++i)
        if (!shardsSeen.count(i)) missing.push_back(i);
    std::string missingText;
    for (int i : missing)
        missingText +=
            (missingText.empty() ? "" : ", ") + std::to_string(i) + "/" + std::to_string(shardCount);
    if (json) {
        std::printf("{\"converted\":%d,\"kept\":%d,\"failed\":%d,\"missingShards\":%s}\n", done, kept, failed,
                    jsonQuote(missingText).c_str());
    } else {
        std::fprintf(stderr, "tolvikan summary: %d converted, %d kept from before, %d failed", done, kept,
                     failed);
        if (!missing.empty()) std::fprintf(stderr, "; no summary from shard %s", missingText.c_str());
        std::fputc('\n', stderr);
    }
    if (status == 0 && (failed > 0 || !missing.empty())) status = 1;
    return status;
}

}  // namespace cli
