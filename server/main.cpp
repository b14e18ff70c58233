// SPDX-License-Identifier: Apache-2.0
// corvio-server: the reference backup server. `corvio-server --help` lists the commands,
// `corvio-server COMMAND --help` tells one of them. Each command is one entry of kCommands: its
// name, its usage and help texts, the options it takes and the function that runs it; adding a
// command is adding an entry.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "admin_commands.h"
#include "base/version.h"
#include "certificates.h"
#include "command_line.h"
#include "faults.h"
#include "os.h"
#include "scrub.h"
#include "server.h"
#include "server_options.h"
#include "store.h"
#include "tls_context.h"
#include "trace.h"

namespace corvio::server {
namespace {

namespace fs = std::filesystem;

// Parsed command line: options with their values (repeatable), and the rest in order.
struct Args {
  std::multimap<std::string, std::string> options;
  std::vector<std::string> positional;

  std::string get(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
  bool has(const std::string& name) const { return options.count(name) > 0; }
};

struct Command {
  const char* name;
  const char* usage;  // its usage, without "corvio-server "; lines after the first are indented
                      // under the first option when shown
  const char* help;   // what `COMMAND --help` adds below the usage
  std::vector<std::string> options;  // the options it takes, each with a value; --store is
                                     // required where listed
  int (*run)(const Args&);
};

// The background reading of a served store: 16 MiB a second reads a store of a million 1 MiB
// blocks in about 18 hours, a small share of a disk's bandwidth.
constexpr uint64_t kDefaultScrubRate = 16ULL << 20;
constexpr uint64_t kMaxScrubRate = 1ULL << 40;

const char kLimits[] =
    "Limits: a LOGIN and a password are 1 to 32 characters, a profile TAG 1 to 31 characters\n"
    "(the widths of their fields in the protocol); none may contain a 0 byte.\n";

int cmd_init(const Args& args);
int cmd_add_login(const Args& args);
int cmd_add_profile(const Args& args);
int cmd_serve(const Args& args);
int cmd_restore(const Args& args);
int cmd_verify(const Args& args);
int cmd_catalogs(const Args& args);

const Command kCommands[] = {
    {"init",
     "init --store DIR [--self-signed HOST]",
     "Creates a store in DIR: the index DIR/store.db and the block folder DIR/blocks/, private\n"
     "to their owner (folders 0700, files 0600). On an existing store it changes nothing and says\n"
     "what it kept.\n"
     "\n"
     "  --store DIR          the store's folder (made if need be)\n"
     "  --self-signed HOST   also write DIR/ca.pem, a test certificate authority, and\n"
     "                       DIR/server.pem and DIR/server.key, a certificate for HOST signed by\n"
     "                       it (HOST: the name or IP address clients connect to). Give ca.pem to\n"
     "                       the clients to trust. An existing ca.pem is kept, never replaced.\n",
     {"store", "self-signed"},
     cmd_init},
    {"add-login",
     "add-login --store DIR LOGIN",
     "Adds LOGIN; its password is the first line of standard input. The password is kept as a\n"
     "salted PBKDF2-HMAC-SHA256 hash.\n"
     "\n"
     "  --store DIR   the store\n"
     "\n"
     "A LOGIN and a password are 1 to 32 characters, without a 0 byte.\n",
     {"store"},
     cmd_add_login},
    {"add-profile",
     "add-profile --store DIR LOGIN TAG",
     "Registers the backup profile TAG for LOGIN; a client asking for a profile that was not\n"
     "added for its login is answered \"unknown profile\".\n"
     "\n"
     "  --store DIR   the store\n"
     "\n"
     "A TAG is 1 to 31 characters, without a 0 byte.\n",
     {"store"},
     cmd_add_profile},
    {"serve",
     "serve --store DIR --listen ADDR:PORT [--cert FILE --key FILE]\n"
     "[--max-connections N] [--handshake-timeout S] [--login-timeout S]\n"
     "[--max-catalog SIZE] [--scrub-rate SIZE] [--fault SPEC]... [--trace FILE]",
     "Serves clients until SIGINT or SIGTERM. Prints \"listening on ADDR:PORT\" when ready.\n"
     "\n"
     "  --store DIR              the store\n"
     "  --listen ADDR:PORT       the address to listen on: an IPv4 address or a host name, or an\n"
     "                           IPv6 address in brackets ([::1]:5000); 0.0.0.0 or [::] for\n"
     "                           every address. PORT 0 to 65535; 0 picks a free port, which the\n"
     "                           \"listening on\" line shows.\n"
     "  --cert FILE --key FILE   the certificate chain and its key (PEM); without them the\n"
     "                           store's server.pem and server.key, made by init --self-signed\n"
     "  --max-connections N      most connections served at once (default 64); one more is\n"
     "                           closed at once and logged\n"
     "  --handshake-timeout S    seconds a connection has for its TLS handshake (default 10)\n"
     "  --login-timeout S        seconds from the handshake to a whole login message (default\n"
     "                           10); S may have decimals, as 0.5\n"
     "  --max-catalog SIZE       largest catalog taken, in bytes or with K, M or G (default 1G,\n"
     "                           at least 1M, at most 2147483647, the largest a client sends);\n"
     "                           a catalog is received into a temporary file, not memory.\n"
     "                           Blocks of files are at most 1 MiB.\n"
     "  --scrub-rate SIZE        bytes a second read in the background to find damaged blocks\n"
     "                           and take them out of the store (default 16M; 0: none)\n"
     "  --fault SPEC             misbehave on purpose, to test clients (repeatable; below)\n"
     "  --trace FILE             append a line per client message received (mode 0600;\n"
     "                           passwords masked)\n"
     "\n"
     "Each connection gets one login attempt; a refused login is answered, then the connection\n"
     "is closed. Repeated failures for a login or from an address make later attempts wait,\n"
     "from 0.2 s doubling up to 10 s.\n"
     "\n"
     "Fault SPECs (N: how many times, always when omitted; REPLY: greeting, login, profile,\n"
     "catalog, query, store, stored, ref, finish):\n"
     "  login=HH[:N]  greeting=short[:N]  greeting=badcode[:N]  catalog-refuse[=N]\n"
     "  split=REPLY[:N]  trailing=REPLY[:N]  drop=M[:N]  silent=REPLY[:N]\n"
     "  profile-unknown[=N]  store-status=HH[:N]\n",
     {"store", "listen", "cert", "key", "max-connections", "handshake-timeout", "login-timeout",
      "max-catalog", "scrub-rate", "fault", "trace"},
     cmd_serve},
    {"restore",
     "restore --store DIR --catalog N --to DIR [--path PREFIX]",
     "Rebuilds the directories and files of the finished run N below --to from its catalog and\n"
     "blocks: contents, sizes, modification times. C:\\Data\\a.txt becomes C/Data/a.txt and\n"
     "/home/a/x home/a/x. Nothing is written outside --to. A file whose blocks are missing or\n"
     "damaged is reported and not written; everything else is restored (exit status 1).\n"
     "\n"
     "  --store DIR      the store\n"
     "  --catalog N      the run's catalog number\n"
     "  --to DIR         where to rebuild the files\n"
     "  --path PREFIX    only the entries at or below this catalog path\n",
     {"store", "catalog", "to", "path"},
     cmd_restore},
    {"verify",
     "verify --store DIR [--catalog N]",
     "Checks that every block of run N (default: of every finished run) and its catalog are\n"
     "present and match their MD5 and length. Prints a summary; exit status 1 on any problem.\n"
     "\n"
     "  --store DIR      the store\n"
     "  --catalog N      only this run\n",
     {"store", "catalog"},
     cmd_verify},
    {"catalogs",
     "catalogs --store DIR [--login L]",
     "Lists the runs the store holds: number, login, profile tag and the end-of-run statistics,\n"
     "or \"unfinished\".\n"
     "\n"
     "  --store DIR      the store\n"
     "  --login L        only the runs of this login\n",
     {"store", "login"},
     cmd_catalogs},
};

const Command* find_command(const std::string& name) {
  for (const Command& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

// prefix, then the command's usage with its later lines indented under its first option.
std::string usage_of(const std::string& prefix, const Command& c) {
  std::string indent(prefix.size() + std::string(c.name).size() + 1, ' ');
  std::string text = prefix;
  for (char ch : std::string(c.usage)) {
    text += ch;
    if (ch == '\n') text += indent;
  }
  return text + "\n";
}

std::string overview() {
  std::string text = "usage: corvio-server COMMAND [OPTIONS]\n\ncommands:\n";
  for (const Command& c : kCommands) text += usage_of("  corvio-server ", c);
  text +=
      "\n"
      "  corvio-server COMMAND --help   tells a command and its options\n"
      "  corvio-server --version        prints the version\n"
      "\n";
  text += kLimits;
  text += "\nExit status: 0 success, 1 failure (told on standard error), 2 bad command line.\n";
  return text;
}

std::string command_help(const Command& c) {
  return usage_of("usage: corvio-server ", c) + "\n" + c.help;
}

int usage_error(const Command* command, const std::string& text) {
  std::string hint = command ? usage_of("usage: corvio-server ", *command) + "(corvio-server " +
                                   command->name + " --help tells more)\n"
                             : "(corvio-server --help lists the commands)\n";
  std::fprintf(stderr, "corvio-server: %s\n%s", text.c_str(), hint.c_str());
  return 2;
}

int fail(const std::string& text) {
  std::fprintf(stderr, "corvio-server: %s\n", text.c_str());
  return 1;
}

bool parse_args(int argc, char** argv, const Command& command, Args* args, std::string* error) {
  const std::vector<std::string>& known = command.options;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      args->positional.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::string value;
    size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      *error = "unknown option --" + name + " for " + command.name;
      return false;
    }
    if (eq == std::string::npos) {
      if (i + 1 >= argc) {
        *error = "option --" + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    args->options.emplace(name, value);
  }
  bool takes_store = std::find(known.begin(), known.end(), "store") != known.end();
  if (takes_store && !args->has("store")) {
    *error = "--store DIR is required";
    return false;
  }
  return true;
}

// "1 login", "2 logins".
std::string count_of(int64_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

int cmd_init(const Args& args) {
  const Command* self = find_command("init");
  if (!args.positional.empty()) return usage_error(self, "init takes no arguments");
  std::string dir = args.get("store");
  std::string error;
  bool existed = Store::exists(dir);
  if (!Store::create(dir, &error)) return fail(error);
  std::error_code ec;
  std::vector<std::string> certificates;
  for (const char* name : {"ca.pem", "server.pem", "server.key"}) {
    if (fs::exists(dir + "/" + name, ec)) certificates.push_back(name);
  }
  auto list = [](const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
      text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    }
    return text;
  };
  if (existed) {
    std::unique_ptr<Store> store = Store::open(dir, &error);
    if (!store) return fail(error);
    StoreCounts c = store->counts();
    std::string kept = dir + " is a store already; kept its index (" + count_of(c.logins, "login") +
                       ", " + count_of(c.profiles, "profile") + ", " +
                       count_of(c.catalogs, "catalog") + ", " + count_of(c.blocks, "block") +
                       ") and its block files";
    if (!certificates.empty()) kept += ", and " + list(certificates);
    std::printf("corvio-server: %s\n", kept.c_str());
  }
  if (args.has("self-signed")) {
    if (fs::exists(dir + "/ca.pem", ec)) {
      std::printf(
          "corvio-server: kept %s/ca.pem: a certificate authority is never replaced, as clients "
          "may trust it; no certificate was made for %s (remove %s to make new ones)\n",
          dir.c_str(), args.get("self-signed").c_str(), list(certificates).c_str());
      return 0;
    }
    if (!write_self_signed(dir, args.get("self-signed"), &error)) return fail(error);
  }
  return 0;
}

int cmd_add_login(const Args& args) {
  if (args.positional.size() != 1) {
    return usage_error(find_command("add-login"), "add-login takes one LOGIN");
  }
  std::string error;
  std::unique_ptr<Store> store = Store::open(args.get("store"), &error);
  if (!store) return fail(error);
  std::string password;
  if (!std::getline(std::cin, password)) return fail("no password on standard input");
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (!store->add_login(args.positional[0], password, &error)) return fail(error);
  return 0;
}

int cmd_add_profile(const Args& args) {
  if (args.positional.size() != 2) {
    return usage_error(find_command("add-profile"), "add-profile takes LOGIN and TAG");
  }
  std::string error;
  std::unique_ptr<Store> store = Store::open(args.get("store"), &error);
  if (!store) return fail(error);
  uint32_t id = 0;
  if (!store->add_profile(args.positional[0], args.positional[1], &id, &error)) return fail(error);
  return 0;
}

// restore, verify and catalogs read a store without serving it.
int run_reader(const char* name, const Args& args) {
  std::string complaint;
  int status = run_admin_command(name, args.options, args.positional, &complaint);
  return complaint.empty() ? status : usage_error(find_command(name), complaint);
}

int cmd_restore(const Args& args) { return run_reader("restore", args); }
int cmd_verify(const Args& args) { return run_reader("verify", args); }
int cmd_catalogs(const Args& args) { return run_reader("catalogs", args); }

int cmd_serve(const Args& args) {
  const Command* self = find_command("serve");
  if (!args.positional.empty()) return usage_error(self, "serve takes no arguments");
  if (!args.has("listen")) return usage_error(self, "--listen ADDR:PORT is required");
  ListenAddress listen;
  std::string error;
  if (!parse_listen(args.get("listen"), &listen, &error)) return usage_error(self, error);
  if (args.has("cert") != args.has("key")) return usage_error(self, "--cert and --key go together");

  ServerOptions options;
  uint64_t number = 0;
  if (args.has("max-connections")) {
    if (!parse_count(args.get("max-connections"), 1, 100000, &number, &error)) {
      return usage_error(self, "--max-connections: " + error);
    }
    options.max_connections = number;
  }
  const std::chrono::milliseconds kMaxTimeout = std::chrono::hours(1);
  for (auto [name, value] : {std::pair{"handshake-timeout", &options.handshake_timeout},
                             std::pair{"login-timeout", &options.login_timeout}}) {
    if (args.has(name) && !parse_seconds(args.get(name), kMaxTimeout, value, &error)) {
      return usage_error(self, std::string("--") + name + ": " + error);
    }
  }
  if (args.has("max-catalog")) {
    if (!parse_size(args.get("max-catalog"), kBlockSize, kMaxCatalogLimit, &number, &error)) {
      return usage_error(self, "--max-catalog: " + error);
    }
    options.max_catalog = static_cast<uint32_t>(number);
  }
  uint64_t scrub_rate = kDefaultScrubRate;
  if (args.has("scrub-rate") &&
      !parse_size(args.get("scrub-rate"), 0, kMaxScrubRate, &scrub_rate, &error)) {
    return usage_error(self, "--scrub-rate: " + error);
  }
  Faults faults;
  for (auto [it, end] = args.options.equal_range("fault"); it != end; ++it) {
    if (!parse_fault(it->second, &faults, &error)) return usage_error(self, error);
  }

  std::unique_ptr<Store> store = Store::open(args.get("store"), &error);
  if (!store) return fail(error);
  std::string cert = args.has("cert") ? args.get("cert") : store->dir() + "/server.pem";
  std::string key = args.has("key") ? args.get("key") : store->dir() + "/server.key";
  std::error_code ec;
  if (!args.has("cert") && (!fs::exists(cert, ec) || !fs::exists(key, ec))) {
    return fail(store->dir() + " has no server certificate (" + cert + " and " + key +
                "): run corvio-server init --store " + store->dir() +
                " --self-signed HOST, HOST the name or address clients connect to, or give "
                "--cert FILE --key FILE");
  }
  SslCtxPtr ctx = make_server_context(cert, key, &error);
  if (!ctx) return fail(error);
  std::unique_ptr<Trace> trace;
  if (args.has("trace")) {
    trace = Trace::open(args.get("trace"), &error);
    if (!trace) return fail(error);
  }
  int64_t dropped = 0;
  if (!store->recover(&dropped, &error)) return fail(error);
  if (dropped > 0) {
    std::fprintf(stderr,
                 "corvio-server: %lld blocks written since the last sync were missing or damaged "
                 "after an unclean stop; they are no longer listed (corvio-server catalogs marks "
                 "the runs that used them)\n",
                 static_cast<long long>(dropped));
  }
  std::unique_ptr<Listener> listener = Listener::open(listen.host, listen.port, &error);
  if (!listener) return fail(error);
  listener->stop_on_signals();

  std::printf("listening on %s\n", listener->address().c_str());
  std::fflush(stdout);
  {
    Scrubber scrubber(*store, scrub_rate);
    try {
      if (scrub_rate > 0) scrubber.start();
      Server(*store, ctx.get(), faults, trace.get(), options).run(*listener);
    } catch (const std::system_error& e) {
      return fail(std::string("cannot serve: ") + e.what());
    }
  }
  if (!store->mark_clean_stop(&error)) return fail(error);
  std::fprintf(stderr, "corvio-server: stopped\n");
  return 0;
}

bool is_help(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int run(int argc, char** argv) {
  if (argc < 2) return usage_error(nullptr, "no command");
  std::string name = argv[1];
  if (name == "--version") {
    std::printf("corvio-server %u.%u.%u\n", kVersionMajor, kVersionMinor, kVersionBuild);
    return 0;
  }
  if (is_help(name) || name == "help") {
    if (argc > 2) {
      const Command* command = find_command(argv[2]);
      if (!command) return usage_error(nullptr, std::string("unknown command ") + argv[2]);
      std::fputs(command_help(*command).c_str(), stdout);
    } else {
      std::fputs(overview().c_str(), stdout);
    }
    return 0;
  }
  const Command* command = find_command(name);
  if (!command) return usage_error(nullptr, "unknown command " + name);
  for (int i = 2; i < argc; ++i) {
    if (is_help(argv[i])) {
      std::fputs(command_help(*command).c_str(), stdout);
      return 0;
    }
  }
  Args args;
  std::string error;
  if (!parse_args(argc, argv, *command, &args, &error)) return usage_error(command, error);
  return command->run(args);
}

}  // namespace
}  // namespace corvio::server

int main(int argc, char** argv) { return corvio::server::run(argc, argv); }
