#include "index/indexsearch.h"

#include "index/recording.h"
#include "platform/codepage.h"
#include "regex/regexpr.h"
#include "shares/sharelist.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <map>

namespace ormix {

namespace {

constexpr size_t kBatch = 2000;

bool simpleWildcardChar(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case ' ':
    case '-':
    case '_':
    case '.':
    case '?':
    case '*':
    case '~':
    case '!':
    case '@':
    case '#':
    case ',':
    case '=':
    case ';':
    case '\'':
    case '&':
        return true;
    default:
        return false;
    }
}

struct ShareRow {
    std::string share, hostName;
    std::string root;     // share + '\', UTF-8
    std::string root1251; // the same as the engine sees it
};

} // namespace

// The plain-text condition is "(?i)^" + text + "$" with "?" and "." any one
// character and "*" any run: on a text of ASCII letters, digits and a few
// marks with no meaning to the engine, that is exactly LIKE with "_" and "%"
// (LIKE ignores the case of ASCII letters, as the engine does; it is not
// asked to fold any other letter). Anything else gets no prefilter.
std::optional<std::string> NamePrefilter(const std::string& userText, bool regexMode) {
    if (regexMode)
        return std::nullopt;
    size_t b = 0, e = userText.size();
    while (b < e && static_cast<unsigned char>(userText[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(userText[e - 1]) <= 32)
        --e;
    if (b == e)
        return std::nullopt;
    std::string like;
    for (size_t i = b; i < e; ++i) {
        const unsigned char c = static_cast<unsigned char>(userText[i]);
        if (!simpleWildcardChar(c))
            return std::nullopt;
        if (c == '?' || c == '.')
            like += '_';
        else if (c == '*')
            like += '%';
        else if (c == '_')
            like += "\\_";
        else
            like += char(c);
    }
    return like;
}

// What one search needs, whichever way the rows are read.
struct ScanPlan {
    const SearchQuery* query = nullptr;
    TRegExpr* expr = nullptr;
    std::map<int64_t, ShareRow> chosen;
    bool allShares = false;
};

namespace {

class Batcher {
public:
    explicit Batcher(const std::function<void(std::vector<IndexHit>&&)>& out) : out_(out) {}
    ~Batcher() {
        if (!batch_.empty())
            out_(std::move(batch_));
    }
    void add(IndexHit&& h) {
        batch_.push_back(std::move(h));
        if (batch_.size() >= kBatch) {
            out_(std::move(batch_));
            batch_ = {};
        }
    }

private:
    const std::function<void(std::vector<IndexHit>&&)>& out_;
    std::vector<IndexHit> batch_;
};

// Picks the shares a search covers, as the network search would walk them.
void planShares(const std::vector<ShareState>& all, const IndexQuery& q, ScanPlan& plan,
                IndexSearchSummary& summary) {
    std::map<std::string, const ShareState*> byPath;
    for (const ShareState& s : all)
        byPath[s.share] = &s;
    auto choose = [&](const ShareState& s, const std::string& label) {
        std::string ip, name;
        if (!SplitSharePath(s.share, ip, name) || isExcludedShare(name, q.excludedShares))
            return;
        if (s.lastWalk == 0) {
            ++summary.sharesNotIndexed;
            return;
        }
        ShareRow& row = plan.chosen[s.id];
        row.share = s.share;
        row.hostName = label.empty() ? s.hostName : label;
        row.root = s.share + '\\';
        row.root1251 = utf8ToCp1251(row.root);
        summary.examined += s.files;
        summary.oldestWalk = summary.oldestWalk ? std::min(summary.oldestWalk, s.lastWalk) : s.lastWalk;
        summary.newestWalk = std::max(summary.newestWalk, s.lastWalk);
    };
    if (q.shares.empty()) {
        for (const ShareState& s : all)
            choose(s, std::string());
    } else {
        for (const ScannedShare& entry : q.shares) {
            const std::string share = ShareOfRoot(entry.path);
            std::string ip, name;
            if (!SplitSharePath(share, ip, name) || isExcludedShare(name, q.excludedShares))
                continue;
            auto it = byPath.find(share);
            if (it == byPath.end()) {
                ++summary.sharesNotIndexed;
                continue;
            }
            // The share's own computer name labels results, as on the
            // network; a share without one keeps the name the index knows.
            choose(*it->second, entry.computerName);
        }
    }
    summary.sharesSearched = int(plan.chosen.size());
    plan.allShares = plan.chosen.size() == all.size();
}

bool scanStore(IndexStore& store, const ScanPlan& plan, const std::string& userText,
               const std::atomic<bool>& stop, const std::function<void(std::vector<IndexHit>&&)>& onBatch,
               std::string& error) {
    const SearchQuery& sq = *plan.query;
    QString sql = "SELECT share_id, folder, name, size FROM ormix_entries WHERE is_folder = 0";
    if (!plan.allShares) {
        sql += " AND share_id IN (";
        bool first = true;
        for (const auto& [id, row] : plan.chosen) {
            sql += (first ? "" : ",") + QString::number(id);
            first = false;
        }
        sql += ')';
    }
    if (sq.minSizeBytes != 0)
        sql += " AND size >= " + QString::number(sq.minSizeBytes);
    if (sq.maxSizeBytes != 0)
        sql += " AND size <= " + QString::number(sq.maxSizeBytes);
    const std::optional<std::string> like = NamePrefilter(userText, sq.regexMode);
    if (like)
        sql += store.isPostgres() ? " AND name ILIKE ? ESCAPE '\\'" : " AND name LIKE ? ESCAPE '\\'";

    QSqlQuery query(store.database());
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        error = query.lastError().text().toStdString();
        return false;
    }
    if (like)
        query.addBindValue(QString::fromStdString(*like));
    if (!query.exec()) {
        error = query.lastError().text().toStdString();
        return false;
    }
    Batcher out(onBatch);
    int64_t lastId = -1;
    const ShareRow* row = nullptr;
    std::string text;
    while (query.next()) {
        if (stop.load(std::memory_order_relaxed))
            break;
        const int64_t id = query.value(0).toLongLong();
        if (id != lastId) {
            auto it = plan.chosen.find(id);
            row = it == plan.chosen.end() ? nullptr : &it->second;
            lastId = id;
        }
        if (!row)
            continue;
        const int64_t size = query.value(3).toLongLong();
        if (!SizeInBand(size, sq.minSizeBytes, sq.maxSizeBytes))
            continue;
        std::string name = query.value(2).toString().toStdString();
        std::string folder = query.value(1).toString().toStdString();
        if (sq.regexMode) {
            text = row->root1251;
            text += utf8ToCp1251(folder);
            text += utf8ToCp1251(name);
        } else {
            text = utf8ToCp1251(name);
        }
        if (plan.expr->Exec(text))
            out.add({row->hostName, row->root + folder, std::move(name), size});
    }
    return true;
}

} // namespace

bool IndexCache::load(IndexStore& store, std::string& error) {
    const int64_t generation = store.generation(&error);
    if (generation < 0)
        return false;
    QSqlQuery query(store.database());
    query.setForwardOnly(true);
    if (!query.exec("SELECT share_id, folder, name, size FROM ormix_entries WHERE is_folder = 0")) {
        error = query.lastError().text().toStdString();
        return false;
    }
    rows_.clear();
    names_.clear();
    names1251_.clear();
    folders_.clear();
    folders1251_.clear();
    QString lastFolder;
    while (query.next()) {
        // Rows come in walk order, so a folder's files follow one another.
        const QString folder = query.value(1).toString();
        if (folders_.empty() || folder != lastFolder) {
            lastFolder = folder;
            folders_.push_back(folder.toStdString());
            folders1251_.push_back(utf8ToCp1251(folders_.back()));
        }
        const std::string name = query.value(2).toString().toStdString();
        const std::string name1251 = utf8ToCp1251(name);
        Row r;
        r.shareId = query.value(0).toLongLong();
        r.size = query.value(3).toLongLong();
        r.folder = uint32_t(folders_.size() - 1);
        r.nameOff = uint32_t(names_.size());
        r.nameLen = uint32_t(name.size());
        r.name1251Off = uint32_t(names1251_.size());
        r.name1251Len = uint32_t(name1251.size());
        if (names_.size() + name.size() > UINT32_MAX || names1251_.size() + name1251.size() > UINT32_MAX) {
            error = "the index is too large to hold in memory";
            return false;
        }
        names_ += name;
        names1251_ += name1251;
        rows_.push_back(r);
    }
    if (query.lastError().isValid()) {
        error = query.lastError().text().toStdString();
        return false;
    }
    generation_ = generation;
    return true;
}

void IndexCache::scan(const ScanPlan& plan, const std::atomic<bool>& stop,
                      const std::function<void(std::vector<IndexHit>&&)>& onBatch) const {
    const SearchQuery& sq = *plan.query;
    Batcher out(onBatch);
    int64_t lastId = -1;
    const ShareRow* row = nullptr;
    std::string text;
    size_t n = 0;
    for (const Row& r : rows_) {
        if ((++n & 4095) == 0 && stop.load(std::memory_order_relaxed))
            break;
        if (r.shareId != lastId) {
            auto it = plan.chosen.find(r.shareId);
            row = it == plan.chosen.end() ? nullptr : &it->second;
            lastId = r.shareId;
        }
        if (!row || !SizeInBand(r.size, sq.minSizeBytes, sq.maxSizeBytes))
            continue;
        const std::string_view name1251(names1251_.data() + r.name1251Off, r.name1251Len);
        bool hit;
        if (sq.regexMode) {
            text = row->root1251;
            text += folders1251_[r.folder];
            text += name1251;
            hit = plan.expr->Exec(text);
        } else {
            hit = plan.expr->Exec(name1251);
        }
        if (hit)
            out.add(
                {row->hostName, row->root + folders_[r.folder], names_.substr(r.nameOff, r.nameLen), r.size});
    }
}

bool SearchIndex(IndexStore& store, const IndexQuery& q, const std::string& userText,
                 const std::atomic<bool>& stop, const std::function<void(std::vector<IndexHit>&&)>& onBatch,
                 IndexSearchSummary& summary, std::string& error, IndexCache* cache) {
    summary = {};
    TRegExpr expr;
    try {
        expr.SetModifierStr(q.query.modifiers);
        expr.SetExpression(q.query.expression);
        expr.Compile();
    } catch (const std::exception&) {
        // As on the network: a search with a bad expression finds nothing.
        summary.expressionError = true;
        return true;
    }
    std::string err;
    const std::vector<ShareState> all = store.shares(&err);
    if (!err.empty()) {
        error = err;
        return false;
    }
    ScanPlan plan;
    plan.query = &q.query;
    plan.expr = &expr;
    planShares(all, q, plan, summary);
    if (plan.chosen.empty())
        return true;
    if (!cache)
        return scanStore(store, plan, userText, stop, onBatch, error);
    if (cache->generation() != store.generation() && !cache->load(store, error))
        return false;
    cache->scan(plan, stop, onBatch);
    return true;
}

std::string IndexAgeText(const IndexSearchSummary& s, int64_t now) {
    if (s.sharesSearched == 0)
        return " Индекс: нет данных по этим ресурсам";
    const int64_t age = std::max<int64_t>(0, now - s.oldestWalk);
    std::string when;
    if (age < 60)
        when = "меньше минуты назад";
    else if (age < 3600)
        when = std::to_string(age / 60) + " мин. назад";
    else if (age < 86400)
        when = std::to_string(age / 3600) + " ч. назад";
    else
        when = std::to_string(age / 86400) + " дн. назад";
    std::string text = " Индекс обновлён " + when + " (ресурсов: " + std::to_string(s.sharesSearched);
    if (s.sharesNotIndexed > 0)
        text += ", не в индексе: " + std::to_string(s.sharesNotIndexed);
    return text + ")";
}

IndexSearchRunner::IndexSearchRunner(SearchOwner& owner, const std::atomic<bool>& stopRequested,
                                     QObject* parent)
    : QObject(parent), owner_(owner), stop_(stopRequested) {}

IndexSearchRunner::~IndexSearchRunner() {
    if (thread_.joinable())
        thread_.join();
}

void IndexSearchRunner::start(const std::string& dbLocation, const IndexQuery& query,
                              const std::string& userText) {
    if (thread_.joinable())
        thread_.join();
    running_ = true;
    thread_ = std::thread([this, dbLocation, query, userText] {
        IndexSearchSummary summary;
        std::string error;
        {
            IndexStore store;
            if (store.open(dbLocation, error)) {
                if (!cache_)
                    cache_ = std::make_shared<IndexCache>();
                SearchIndex(
                    store, query, userText, stop_,
                    [this](std::vector<IndexHit>&& hits) {
                        QMetaObject::invokeMethod(
                            this,
                            [this, hits = std::move(hits)] {
                                for (const IndexHit& h : hits)
                                    owner_.AddFoundFile(h.hostName, h.folder, h.size, h.name);
                            },
                            Qt::QueuedConnection);
                    },
                    summary, error, cache_.get());
            }
        }
        QMetaObject::invokeMethod(
            this, [this, summary, error] { finished(summary, error); }, Qt::QueuedConnection);
    });
}

void IndexSearchRunner::finished(const IndexSearchSummary& s, const std::string& error) {
    if (thread_.joinable())
        thread_.join();
    running_ = false;
    if (!s.expressionError)
        owner_.AddExaminedCount(s.examined);
    if (onSearchFinished)
        onSearchFinished(s, error);
}

} // namespace ormix
