#include "search/searchworker.h"

#include "platform/codepage.h"
#include "regex/regexpr.h"

#include <vector>

namespace ormix {

namespace {

// Engine errors the worker handles itself; any other ends it.
constexpr int kStepLimitError = 1017;
constexpr int kStoppedError = 1019;

} // namespace

SearchWorker::SearchWorker(const SearchQuery& query, const std::atomic<bool>& stopRequested,
                           SearchOwner& owner, QObject& mainContext, ShareWalker& walker, QObject* parent)
    : QThread(parent), query_(query), stop_(stopRequested), owner_(owner), context_(mainContext),
      walker_(walker) {}

SearchWorker::~SearchWorker() = default;

void SearchWorker::Execute() {
    lo_ = query_.minSizeBytes;
    hi_ = query_.maxSizeBytes;
    root1251_ = utf8ToCp1251(RootPath);
    // Each worker matches with an engine object of its own: matching keeps
    // state in the object. The expression compiles at the first match, so a
    // bad one ends the worker there. Names come from servers: every match is
    // bounded, and a stop interrupts a long one.
    expr_ = std::make_unique<TRegExpr>();
    expr_->SetMatchStepLimit(kNameMatchStepLimit);
    expr_->SetCancelFlag(&stop_);
    try {
        expr_->SetModifierStr(query_.modifiers);
        expr_->SetExpression(query_.expression);
        std::unique_ptr<ShareWalk> walk = walker_.Open(RootPath);
        if (walk && !WalkShare(*walk) && !stop_.load() && !walk->RootUnavailable())
            Note(SearchNote::Incomplete, RootPath);
    } catch (const ERegExpr& e) {
        // A stop during a match ends the walk like a stop between files.
        if (e.ErrorCode != kStoppedError)
            return;
    } catch (const std::exception&) {
        // An engine error (or any other failure) ends the worker silently,
        // without its count; what it found before still arrives.
        PostFoundFiles();
        return;
    }
    PostFoundFiles();
    const int64_t count = ExaminedCount;
    QMetaObject::invokeMethod(
        &context_, [owner = &owner_, count] { owner->AddExaminedCount(count); }, Qt::QueuedConnection);
}

void SearchWorker::QueueFoundFile() {
    if (found_.empty())
        firstQueued_ = std::chrono::steady_clock::now();
    found_.push_back(FoundFile{curFolder_, curSize_, curName_});
    if (found_.size() >= kBatchSize)
        PostFoundFiles();
}

void SearchWorker::PostFoundFiles() {
    if (found_.empty())
        return;
    QMetaObject::invokeMethod(
        &context_,
        [owner = &owner_, host = HostName, batch = std::move(found_)] {
            for (const FoundFile& f : batch)
                owner->AddFoundFile(host, f.folder, f.size, f.name);
        },
        Qt::QueuedConnection);
    found_.clear();
}

void SearchWorker::Note(SearchNote note, const std::string& path) {
    // After the files found before it, so the owner sees them in walk order.
    PostFoundFiles();
    QMetaObject::invokeMethod(
        &context_, [owner = &owner_, note, host = HostName, path] { owner->AddSearchNote(note, host, path); },
        Qt::QueuedConnection);
}

bool SearchWorker::WalkShare(ShareWalk& walk) {
    // rel_ and rel1251_ hold the current folder relative to the root; each
    // level appends its name and gives it back at its end, so the path is
    // never copied per level.
    std::string& rel = rel_;
    std::string& rel1251 = rel1251_;
    rel.clear();
    rel1251.clear();
    struct Level {
        size_t relSize, rel1251Size;
    };
    std::vector<Level> levels;
    // Levels below a folder that is too deep, skipped up to its end.
    size_t skipping = 0;
    bool toldTooDeep = false;
    WalkRecord rec;
    for (;;) {
        if (stop_.load(std::memory_order_relaxed))
            return false;
        if (!found_.empty() && std::chrono::steady_clock::now() - firstQueued_ >= kBatchDelay)
            PostFoundFiles();
        if (!walk.Next(rec))
            return false;
        if (skipping > 0) {
            if (rec.kind == WalkRecord::Folder)
                ++skipping;
            else if (rec.kind == WalkRecord::FolderEnd)
                --skipping;
            continue;
        }
        if (rec.kind == WalkRecord::FolderEnd) {
            if (levels.empty())
                return true; // the root's end
            rel.resize(levels.back().relSize);
            rel1251.resize(levels.back().rel1251Size);
            levels.pop_back();
            continue;
        }
        if (rec.name == "." || rec.name == "..")
            continue;
        if (rec.kind == WalkRecord::Folder) {
            if (levels.size() >= size_t(kMaxWalkDepth)) {
                if (!toldTooDeep)
                    Note(SearchNote::TooDeep, RootPath + rel + rec.name + '\\');
                toldTooDeep = true;
                skipping = 1;
                continue;
            }
            levels.push_back({rel.size(), rel1251.size()});
            rel += rec.name;
            rel += '\\';
            rel1251 += utf8ToCp1251(rec.name);
            rel1251 += '\\';
            continue;
        }
        curName_ = rec.name;
        curSize_ = rec.size;
        if (query_.regexMode) {
            curFolder1251_.assign(root1251_);
            curFolder1251_ += rel1251;
        }
        if (MatchFile()) {
            curFolder_.assign(RootPath);
            curFolder_ += rel;
            QueueFoundFile();
        }
    }
}

bool SearchWorker::MatchFile() {
    ++ExaminedCount;
    if (!SizeInBand(curSize_, lo_, hi_))
        return false;
    const std::string name1251 = utf8ToCp1251(curName_);
    try {
        return expr_->Exec(query_.regexMode ? curFolder1251_ + name1251 : name1251);
    } catch (const ERegExpr& e) {
        if (e.ErrorCode != kStepLimitError)
            throw;
    }
    // Too much work for one name: skip it, say so, go on with the next.
    Note(SearchNote::StepLimit, RootPath + rel_ + curName_);
    return false;
}

} // namespace ormix
