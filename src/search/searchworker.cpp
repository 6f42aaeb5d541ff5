#include "search/searchworker.h"

#include "platform/codepage.h"
#include "regex/regexpr.h"

namespace ormix {

FielSearchThr::FielSearchThr(const SearchQuery& query, const std::atomic<bool>& stopRequested,
                             SearchOwner& owner, QObject& mainContext, ShareWalker& walker, QObject* parent)
    : QThread(parent), query_(query), stop_(stopRequested), owner_(owner), context_(mainContext),
      walker_(walker) {}

FielSearchThr::~FielSearchThr() = default;

void FielSearchThr::Execute() {
    lo_ = query_.minSizeBytes;
    hi_ = query_.maxSizeBytes;
    root1251_ = utf8ToCp1251(RootPath);
    // Each worker matches with an engine object of its own: matching keeps
    // state in the object. The expression compiles at the first match, so a
    // bad one ends the worker there.
    expr_ = std::make_unique<TRegExpr>();
    try {
        expr_->SetModifierStr(query_.modifiers);
        expr_->SetExpression(query_.expression);
        std::unique_ptr<ShareWalk> walk = walker_.Open(RootPath);
        if (walk)
            WalkFolder(*walk, std::string(), std::string());
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

void FielSearchThr::QueueFoundFile() {
    if (found_.empty())
        firstQueued_ = std::chrono::steady_clock::now();
    found_.push_back(FoundFile{curFolder_, curSize_, curName_});
    if (found_.size() >= kBatchSize)
        PostFoundFiles();
}

void FielSearchThr::PostFoundFiles() {
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

bool FielSearchThr::WalkFolder(ShareWalk& walk, const std::string& rel, const std::string& rel1251) {
    WalkRecord rec;
    for (;;) {
        if (stop_.load(std::memory_order_relaxed))
            return false;
        if (!found_.empty() && std::chrono::steady_clock::now() - firstQueued_ >= kBatchDelay)
            PostFoundFiles();
        if (!walk.Next(rec))
            return false;
        if (rec.kind == WalkRecord::FolderEnd)
            return true;
        if (rec.name == "." || rec.name == "..")
            continue;
        if (rec.kind == WalkRecord::Folder) {
            if (!WalkFolder(walk, rel + rec.name + '\\', rel1251 + utf8ToCp1251(rec.name) + '\\'))
                return false;
            continue;
        }
        curFolder_ = RootPath + rel;
        curName_ = rec.name;
        curSize_ = rec.size;
        if (query_.regexMode)
            curFolder1251_ = root1251_ + rel1251;
        if (MatchFile())
            QueueFoundFile();
    }
}

bool FielSearchThr::MatchFile() {
    ++ExaminedCount;
    if (!SizeInBand(curSize_, lo_, hi_))
        return false;
    const std::string name1251 = utf8ToCp1251(curName_);
    return expr_->Exec(query_.regexMode ? curFolder1251_ + name1251 : name1251);
}

} // namespace ormix
