#include "lsp/server.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <utility>
#include <string>

#include <system_error>

#include <nlohmann/json.hpp>

#include "delimcheck/checker.h"
#include "delimcheck/sink.h"
#include "lsp/document.h"
#include "lsp/adoption.h"
#include "lsp/kept_reports.h"
#include "lsp/repair_worker.h"
#include "lsp/reports.h"
#include "lsp/settings.h"

namespace delimcheck::lsp {

namespace {

using nlohmann::json;

// JSON-RPC and LSP error codes.
constexpr int parse_error = -32700, invalid_request = -32600, method_not_found = -32601, invalid_params = -32602,
              server_not_initialized = -32002, request_cancelled = -32800;

// A request or notification whose parameters are not what the method takes.
struct bad_params {
    std::string what;
};

const json &member(const json &object, const char *name)
{
    static const json absent;
    if (!object.is_object())
        throw bad_params{std::string("expected an object holding ") + name};
    auto it = object.find(name);
    return it == object.end() ? absent : *it;
}

const json &object_member(const json &object, const char *name)
{
    const json &v = member(object, name);
    if (!v.is_object())
        throw bad_params{std::string(name) + " must be an object"};
    return v;
}

const std::string &string_member(const json &object, const char *name)
{
    const json &v = member(object, name);
    if (!v.is_string())
        throw bad_params{std::string(name) + " must be a string"};
    return v.get_ref<const std::string &>();
}

std::int64_t integer_member(const json &object, const char *name)
{
    const json &v = member(object, name);
    if (!v.is_number_integer())
        throw bad_params{std::string(name) + " must be an integer"};
    return v.get<std::int64_t>();
}

client_position position_member(const json &object, const char *name)
{
    const json &p = object_member(object, name);
    return {integer_member(p, "line"), integer_member(p, "character")};
}

client_range range_of(const json &r) { return {position_member(r, "start"), position_member(r, "end")}; }

// The directory (ending in '/') with its symbolic links resolved, or "" when it cannot be.
std::string physical_directory(const std::string &directory)
{
    char *resolved = ::realpath(directory.c_str(), nullptr);
    if (resolved == nullptr)
        return {};
    std::string result = resolved;
    std::free(resolved);
    return result.ends_with('/') ? result : result + "/";
}

class server {
public:
    server(byte_input &in, format::destination &out, bool background, std::chrono::milliseconds pause,
           bool leave_on_exit)
        : in_(in), reader_(in), out_(out), leave_on_exit_(leave_on_exit)
    {
        if (background) {
            try {
                worker_ = std::make_unique<repair_worker>(pause);
            } catch (const std::system_error &) {
                // No pipe or thread to be had: the search runs in line.
            }
        }
    }
    int run();

private:
    struct open_document {
        lsp::document doc;
        std::uint64_t generation = 0; // of its text; every edit makes a new one
        std::uint64_t repaired = 0;   // the generation whose search is published
        published last;               // the fixes of the diagnostics published last
        bool told_left_out = false;   // the reports past the limit are said once, not per keystroke
    };

    // A code-action request that waits for the search of its document's text.
    struct waiting_action {
        json id;
        std::string uri;
        std::uint64_t generation = 0;
        json params;
    };

    void handle(const std::string &body);
    void dispatch(const std::string &method, const json &params, const json *id);
    void send(const json &message);
    void respond(const json &id, json result) { send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}}); }
    void fail(const json &id, int code, const std::string &text);
    void log(int type, const std::string &text);
    void refuse(const json *id, const std::string &method, const std::string &what);
    void check_pending();
    void check(const std::string &uri, open_document &d);
    void publish(const std::string &uri, open_document &d, const std::vector<diagnostic> &reports,
                 std::uint64_t left_out, std::string_view text);
    void search(const std::string &uri, open_document &d);
    void take_repairs();
    void settle_actions();
    void cancel(const json &params);

    json initialize(const json &params);
    void configure(const json &settings);
    void project_files_changed(const json &params);
    void watch_project_files();
    void recheck_all();
    options options_for(const std::string &uri);
    void did_open(const json &params);
    void did_change(const json &params);
    void did_close(const json &params);
    void code_action(const json &id, const json &params);
    json actions_for(const std::string &uri, const open_document &d, const json &params);
    open_document *find(const json &params);

    byte_input &in_;
    message_reader reader_;
    format::destination &out_;
    bool leave_on_exit_;
    bool initialized_ = false, shut_down_ = false, exiting_ = false;
    encoding enc_ = encoding::utf16;
    bool document_changes_ = false;
    bool can_watch_ = false;          // the client registers file watchers when asked
    std::optional<json> watch_request_; // the id of the request that asks it to, once sent
    adoption adoption_; // the project file and the directives of each document
    options opts_;
    std::uint64_t settings_ = 1;       // counts the changes of opts_
    kept_reports reports_;
    std::unique_ptr<checker> checker_; // without the search; made again when the options change
    std::unique_ptr<checker> searcher_; // the search in line, when there is no worker
    options checker_made_with_, searcher_made_with_; // a document's project file may change them
    std::unique_ptr<repair_worker> worker_;
    std::uint64_t generations_ = 0;
    std::map<std::string, open_document> documents_;
    std::set<std::string> pending_; // documents changed since they were last checked
    std::vector<waiting_action> waiting_; // in the order they came
};

void server::send(const json &message)
{
    std::string body = message.dump(-1, ' ', false, json::error_handler_t::replace);
    std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    if (!out_.write(header.data(), header.size()) || !out_.write(body.data(), body.size()))
        throw write_failure{out_.error()};
}

void server::fail(const json &id, int code, const std::string &text)
{
    send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", text}}}});
}

// window/logMessage: 1 error, 2 warning, 3 info.
void server::log(int type, const std::string &text)
{
    send({{"jsonrpc", "2.0"}, {"method", "window/logMessage"}, {"params", {{"type", type}, {"message", text}}}});
}

int server::run()
{
    for (;;) {
        // Checks wait while more messages are at hand, so that a burst of changes is checked
        // once, after its last; searches that finish meanwhile are published as they come.
        if (!reader_.buffered()) {
            if (!pending_.empty() && !in_.ready())
                check_pending();
            while (worker_ && !in_.wait(worker_->wake_fd()))
                take_repairs();
        }
        read_result r = reader_.next();
        switch (r.kind) {
        case read_result::message:
            handle(r.body);
            if (exiting_) {
                if (worker_ && leave_on_exit_) {
                    // Its thread may use it until the process ends; kept reachable from here.
                    static repair_worker *left;
                    left = worker_.release();
                    left->leave();
                }
                return shut_down_ ? 0 : 1;
            }
            settle_actions();
            break;
        case read_result::bad_header:
        case read_result::too_large:
            fail(nullptr, parse_error, "unreadable message: " + r.what);
            break;
        case read_result::end:
            return shut_down_ ? 0 : 1;
        case read_result::read_error:
            throw read_failure{r.error};
        }
    }
}

// Parameters a method cannot take: an error for a request, a logged line for a notification,
// which has no answer.
void server::refuse(const json *id, const std::string &method, const std::string &what)
{
    if (id)
        fail(*id, invalid_params, what);
    else
        log(1, method + ": " + what);
}

void server::handle(const std::string &body)
{
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        fail(nullptr, parse_error, "the message is not JSON");
        return;
    }
    // An id that is not a number or a string cannot be answered with itself.
    const json *id = nullptr;
    bool bad_id = false;
    if (message.is_object()) {
        auto it = message.find("id");
        if (it != message.end()) {
            if (it->is_number_integer() || it->is_string())
                id = &*it;
            else
                bad_id = true;
        }
    }
    auto method = message.is_object() ? message.find("method") : message.end();
    if (!message.is_object() || bad_id || method == message.end() || !method->is_string()) {
        if (message.is_object() && id != nullptr && method == message.end() &&
            (message.contains("result") || message.contains("error"))) {
            // The answer to the server's own request to watch the project files; nothing waits
            // for it. Without the watchers, a project file is read again at the next open.
            if (watch_request_ && *id == *watch_request_ && message.contains("error")) {
                const json &e = message["error"];
                log(2, "the client does not watch the project files: " +
                           (e.is_object() && e.contains("message") && e["message"].is_string()
                                ? e["message"].get<std::string>()
                                : e.dump()));
            }
            return; // other answers are to requests this server never makes
        }
        fail(id ? *id : json(nullptr), invalid_request, "not a JSON-RPC request or notification");
        return;
    }
    auto params = message.find("params");
    static const json no_params = json::object();
    try {
        dispatch(method->get_ref<const std::string &>(), params == message.end() ? no_params : *params, id);
    } catch (const std::bad_alloc &) {
        // A text too big for the memory left: refused, and the server goes on with the rest.
        refuse(id, method->get_ref<const std::string &>(), "out of memory");
    } catch (const bad_params &e) {
        refuse(id, method->get_ref<const std::string &>(), e.what);
    } catch (const json::exception &e) {
        // A shape of parameters no check above foresaw: refused all the same.
        refuse(id, method->get_ref<const std::string &>(), e.what());
    }
}

void server::dispatch(const std::string &method, const json &params, const json *id)
{
    if (method == "exit") {
        exiting_ = true;
        return;
    }
    if (!initialized_ && method != "initialize") {
        if (id)
            fail(*id, server_not_initialized, "the server is not initialized");
        return;
    }
    if (shut_down_) {
        // After shutdown only exit counts: a request is refused, a notification dropped.
        if (id)
            fail(*id, invalid_request, "the server is shut down");
        return;
    }
    if (id) {
        // What a request answers comes after the diagnostics of every change before it.
        check_pending();
        if (method == "initialize") {
            if (initialized_)
                return fail(*id, invalid_request, "the server is already initialized");
            return respond(*id, initialize(params));
        }
        if (method == "shutdown") {
            shut_down_ = true;
            for (waiting_action &w : std::exchange(waiting_, {}))
                respond(w.id, json::array());
            return respond(*id, nullptr);
        }
        if (method == "textDocument/codeAction")
            return code_action(*id, params);
        return fail(*id, method_not_found, "no such method: " + method);
    }
    if (method == "textDocument/didOpen")
        did_open(params);
    else if (method == "textDocument/didChange")
        did_change(params);
    else if (method == "textDocument/didClose")
        did_close(params);
    else if (method == "workspace/didChangeConfiguration")
        configure(member(params, "settings"));
    else if (method == "workspace/didChangeWatchedFiles")
        project_files_changed(params);
    else if (method == "$/cancelRequest")
        cancel(params);
    else if (method == "initialized")
        watch_project_files();
    // didSave (the text is the one already held) and whatever else a client
    // tells: nothing to do.
}

json server::initialize(const json &params)
{
    if (!params.is_object())
        throw bad_params{"initialize takes an object"};
    const json &caps = member(params, "capabilities");
    if (caps.is_object()) {
        const json &general = member(caps, "general");
        const json &encodings = general.is_object() ? member(general, "positionEncodings") : general;
        if (encodings.is_array())
            for (const json &e : encodings)
                if (e.is_string() && e.get_ref<const std::string &>() == "utf-8")
                    enc_ = encoding::utf8;
        const json &workspace = member(caps, "workspace");
        const json &edit = workspace.is_object() ? member(workspace, "workspaceEdit") : workspace;
        const json &changes = edit.is_object() ? member(edit, "documentChanges") : edit;
        document_changes_ = changes.is_boolean() && changes.get<bool>();
        if (workspace.is_object()) {
            const json &watched = member(workspace, "didChangeWatchedFiles");
            const json &dynamic = watched.is_object() ? member(watched, "dynamicRegistration") : watched;
            can_watch_ = watched.is_object() && dynamic.is_boolean() && dynamic.get<bool>();
        }
    }
    initialized_ = true;
    configure(member(params, "initializationOptions"));
    return {
        {"capabilities",
         {
             {"positionEncoding", enc_ == encoding::utf8 ? "utf-8" : "utf-16"},
             {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", false}}},
             {"codeActionProvider", {{"codeActionKinds", {"quickfix", fix_all_kind}}}},
         }},
        {"serverInfo", {{"name", "delimcheck"}, {"version", DELIMCHECK_VERSION}}},
    };
}

void server::configure(const json &settings)
{
    options next = opts_;
    for (const std::string &problem : apply_settings(settings, next))
        log(2, problem);
    if (next == opts_)
        return;
    opts_ = next;
    ++settings_;
    checker_.reset();
    searcher_.reset();
    recheck_all();
}

// A new generation for every text, so that no search begun under the old settings is published.
void server::recheck_all()
{
    for (auto &[uri, d] : documents_) {
        d.generation = ++generations_;
        pending_.insert(uri);
    }
}

// Only VS Code's extension asks for these events itself; Emacs and newer Neovim tell of changed
// files only through watchers the server registers. Once, after `initialized`, and only with a
// client that says it can: the others would answer with an error or a warning in their log.
// VS Code's client says it can too, and sends the events of both its watchers in one
// notification. The answer is not waited for.
void server::watch_project_files()
{
    if (!can_watch_ || watch_request_)
        return;
    watch_request_ = "delimcheck/watch-project-files";
    json watchers = json::array();
    for (const char *name : {"**/delimcheck.toml", "**/.delimcheck.toml"})
        watchers.push_back({{"globPattern", name}}); // every kind: created, changed, deleted
    send({{"jsonrpc", "2.0"},
          {"id", *watch_request_},
          {"method", "client/registerCapability"},
          {"params",
           {{"registrations", json::array({{{"id", "delimcheck-project-files"},
                                             {"method", "workspace/didChangeWatchedFiles"},
                                             {"registerOptions", {{"watchers", std::move(watchers)}}}}})}}}});
}

// A project file created, changed or deleted: the documents under its directory are checked
// again under what the files now say; the others' nearest file is not that one. Under it as
// named or once links are resolved: an editor may name the file by its real path and the
// document by a link, or the other way. Other files' changes are none of the server's
// business. A client with watchers of its own and of the server's may tell of one change
// twice: the second check publishes the same.
void server::project_files_changed(const json &params)
{
    const json &changes = member(params, "changes");
    if (!changes.is_array())
        return;
    // Each directory with its last '/', as named and resolved; "" stands for every document.
    std::vector<std::pair<std::string, std::string>> directories;
    for (const json &c : changes) {
        const json &uri = member(c, "uri");
        if (!uri.is_string())
            continue;
        const std::string &u = uri.get_ref<const std::string &>();
        if (u.ends_with("/delimcheck.toml") || u.ends_with("/.delimcheck.toml")) {
            std::string path = path_of_uri(u);
            std::string dir = path.substr(0, path.rfind('/') + 1);
            directories.emplace_back(dir, dir.empty() ? dir : physical_directory(dir));
        }
    }
    if (directories.empty())
        return;
    adoption_.forget_project_files();
    for (auto &[uri, d] : documents_) {
        std::string path = path_of_uri(uri);
        std::optional<std::string> physical; // of the document's directory, when first needed
        for (const auto &[dir, resolved] : directories) {
            bool under = dir.empty() || (!path.empty() && path.starts_with(dir));
            if (!under && !path.empty() && !resolved.empty()) {
                if (!physical)
                    physical = physical_directory(path.substr(0, path.rfind('/') + 1));
                under = !physical->empty() && physical->starts_with(resolved);
            }
            if (under) {
                d.generation = ++generations_;
                pending_.insert(uri);
                break;
            }
        }
    }
}

// The client's settings over the project file of the document's path.
options server::options_for(const std::string &uri)
{
    std::string error;
    options o = adoption_.options_for(uri, opts_, error);
    if (!error.empty())
        log(1, error);
    return o;
}

server::open_document *server::find(const json &params)
{
    const std::string &uri = string_member(object_member(params, "textDocument"), "uri");
    auto it = documents_.find(uri);
    if (it == documents_.end()) {
        log(2, "not an open document: " + uri);
        return nullptr;
    }
    return &it->second;
}

void server::did_open(const json &params)
{
    const json &td = object_member(params, "textDocument");
    const std::string &uri = string_member(td, "uri");
    const std::string &text = string_member(td, "text");
    std::int64_t version = integer_member(td, "version");
    // A client that does not tell of changed files: the project files are read again at each open.
    adoption_.forget_project_files();
    documents_.insert_or_assign(uri, open_document{document(text, version), ++generations_, 0, {}, false});
    pending_.insert(uri);
}

// Every change is checked for its type before the first is applied, so that a bad one leaves
// the document as it was.
void server::did_change(const json &params)
{
    const json &td = object_member(params, "textDocument");
    std::int64_t version = integer_member(td, "version");
    const json &changes = member(params, "contentChanges");
    if (!changes.is_array())
        throw bad_params{"contentChanges must be an array"};
    std::vector<std::optional<client_range>> ranges;
    for (const json &c : changes) {
        string_member(c, "text");
        const json &r = member(c, "range");
        ranges.push_back(r.is_null() ? std::nullopt : std::optional(range_of(r)));
    }
    open_document *d = find(params);
    if (d == nullptr)
        return;
    for (std::size_t i = 0; i < ranges.size(); ++i)
        d->doc.edit(ranges[i], changes[i]["text"].get_ref<const std::string &>(), enc_);
    d->doc.set_version(version);
    d->generation = ++generations_;
    const std::string &uri = string_member(td, "uri");
    // A search of the text before is of no more use: its result would be dropped. Ending it
    // now leaves the processor to the check of the new text.
    if (worker_)
        worker_->forget(uri);
    pending_.insert(uri);
}

void server::did_close(const json &params)
{
    const std::string &uri = string_member(object_member(params, "textDocument"), "uri");
    if (documents_.erase(uri) == 0) {
        log(2, "not an open document: " + uri);
        return;
    }
    pending_.erase(uri);
    if (worker_)
        worker_->forget(uri);
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params", {{"uri", uri}, {"diagnostics", json::array()}}}});
}

void server::check_pending()
{
    for (const std::string &uri : pending_)
        check(uri, documents_.at(uri));
    pending_.clear();
}

// The reports without the search, published at once; then the search, whose reports place the
// fault at the edit that mends it and carry that edit.
void server::check(const std::string &uri, open_document &d)
{
    options o = options_for(uri);
    o.hints = true;
    o.repair = false;
    if (!checker_ || !(checker_made_with_ == o)) {
        checker_ = std::make_unique<checker>(o, reports_);
        checker_made_with_ = o;
    }
    reports_.clear();
    checker_->check(d.doc.text());
    publish(uri, d, reports_.diagnostics, reports_.left_out, d.doc.text());
    if (reports_.diagnostics.empty())
        d.repaired = d.generation; // nothing to mend
    else
        search(uri, d);
}

void server::publish(const std::string &uri, open_document &d, const std::vector<diagnostic> &reports,
                     std::uint64_t left_out, std::string_view text)
{
    std::string project_error;
    d.last = describe(adoption_.reported(uri, text, reports, project_error), text, uri, enc_);
    if (!project_error.empty())
        log(1, project_error);
    send({{"jsonrpc", "2.0"},
          {"method", "textDocument/publishDiagnostics"},
          {"params", {{"uri", uri}, {"version", d.doc.version()}, {"diagnostics", d.last.diagnostics}}}});
    if (left_out != 0 && !d.told_left_out)
        log(2, uri + ": " + std::to_string(left_out) + " more reports than the first " +
                   std::to_string(kept_reports::limit) + " are not shown");
    d.told_left_out = left_out != 0;
}

void server::search(const std::string &uri, open_document &d)
{
    options o = options_for(uri);
    o.hints = true;
    o.repair = true;
    o.repair_apart = true; // a new fault is mended beside the file's old findings
    if (worker_) {
        // The worker makes its checker again when the number changes: the client's settings,
        // and the flags that a project file may have moved.
        std::uint64_t flags = 0;
        for (bool b : {o.hash_lines, o.warn_backslash_blank, o.balancing, o.report_in_string, o.any_quote_opens})
            flags = flags << 1 | (b ? 1 : 0);
        worker_->submit({uri, {}, d.generation, d.doc.text(), o, settings_ << 5 | flags});
        return;
    }
    if (!searcher_ || !(searcher_made_with_ == o)) {
        searcher_ = std::make_unique<checker>(o, reports_);
        searcher_made_with_ = o;
    }
    reports_.clear();
    searcher_->check(d.doc.text());
    publish(uri, d, reports_.diagnostics, reports_.left_out, d.doc.text());
    d.repaired = d.generation;
}

// A search whose text has changed since, or whose document is closed, is dropped: the newer
// text has its own on the way.
void server::take_repairs()
{
    for (repair_result &r : worker_->take()) {
        auto it = documents_.find(r.uri);
        if (r.gave_up || it == documents_.end() || it->second.generation != r.generation ||
            pending_.count(r.uri) != 0)
            continue;
        if (!r.failed)
            publish(r.uri, it->second, r.reports, r.left_out, r.text);
        it->second.repaired = r.generation;
    }
    settle_actions();
}

// Answers the code actions whose search is in, and those whose text has changed since: the
// client asks again for the newer text.
void server::settle_actions()
{
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        auto d = documents_.find(it->uri);
        if (d == documents_.end() || d->second.generation != it->generation) {
            respond(it->id, json::array());
        } else if (d->second.repaired == it->generation && pending_.count(it->uri) == 0) {
            respond(it->id, actions_for(it->uri, d->second, it->params));
        } else {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
    }
}

void server::cancel(const json &params)
{
    const json &id = member(params, "id");
    for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
        if (it->id == id) {
            fail(it->id, request_cancelled, "cancelled");
            waiting_.erase(it);
            return;
        }
}

// What the request can be answered with needs the search of the text the client sees. The
// reading thread never waits for it: the request waits, and the rest are answered meanwhile.
// When nothing in its range or context can be one of these fixes, it is answered at once.
void server::code_action(const json &id, const json &params)
{
    const std::string &uri = string_member(object_member(params, "textDocument"), "uri");
    const json &context = object_member(params, "context");
    const json &only = member(context, "only");
    const json &diagnostics = member(context, "diagnostics");
    if (!diagnostics.is_array())
        throw bad_params{"context.diagnostics must be an array"};
    std::pair<std::int64_t, std::int64_t> lines;
    try {
        lines = range_lines(params);
    } catch (const bad_range &) {
        throw bad_params{"range must be a Range"};
    }
    auto [first, last] = lines;
    bool quick = asked_for(only, "quickfix"), fix_all = asked_for(only, fix_all_kind);
    open_document *d = find(params);
    if (d == nullptr || (!quick && !fix_all))
        return respond(id, json::array());
    if (d->repaired == d->generation)
        return respond(id, actions_for(uri, *d, params));
    bool may_match = fix_all;
    for (const json &cd : diagnostics)
        may_match = may_match || (cd.is_object() && cd.value("source", json()) == "delimcheck");
    for (const json &pd : d->last.diagnostics)
        may_match = may_match || touches(pd, first, last);
    if (!may_match)
        return respond(id, json::array());
    waiting_.push_back({id, uri, d->generation, params});
    if (worker_)
        worker_->hurry(uri);
}

json server::actions_for(const std::string &uri, const open_document &d, const json &params)
{
    json actions = code_actions(d.last, params, {uri, d.doc.version(), document_changes_});
    const json &context = object_member(params, "context");
    if (asked_for(member(context, "only"), "quickfix"))
        for (json &a : adoption_.ignore_actions(uri, d.doc.text(), member(context, "diagnostics"), enc_,
                                                document_changes_ ? std::optional<std::int64_t>(d.doc.version())
                                                                  : std::nullopt))
            actions.push_back(std::move(a));
    return actions;
}

} // namespace

int serve(byte_input &in, format::destination &out, bool background, std::chrono::milliseconds pause,
          bool leave_on_exit)
{
    return server(in, out, background, pause, leave_on_exit).run();
}

} // namespace delimcheck::lsp
