// corvio-server: the reference backup server. Command line:
//
//   corvio-server init --store DIR [--self-signed HOST]
//   corvio-server add-login --store DIR LOGIN          (password on standard input)
//   corvio-server add-profile --store DIR LOGIN TAG
//   corvio-server serve --store DIR --listen ADDR:PORT [--cert F --key F] [--fault SPEC]...
//                       [--trace FILE]
//   corvio-server restore --store DIR --catalog N --to DIR [--path PREFIX]
//   corvio-server verify --store DIR [--catalog N]
//   corvio-server catalogs --store DIR [--login L]
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "admin_commands.h"
#include "certificates.h"
#include "faults.h"
#include "os.h"
#include "server.h"
#include "store.h"
#include "tls_context.h"
#include "trace.h"

namespace corvio::server {
namespace {

const char kUsage[] =
    "usage:\n"
    "  corvio-server init --store DIR [--self-signed HOST]\n"
    "      create a store; with --self-signed also write DIR/ca.pem, DIR/server.pem and\n"
    "      DIR/server.key, a test CA and a server certificate for HOST\n"
    "  corvio-server add-login --store DIR LOGIN\n"
    "      add a login; its password is read from standard input\n"
    "  corvio-server add-profile --store DIR LOGIN TAG\n"
    "      add a backup profile TAG for LOGIN\n"
    "  corvio-server serve --store DIR --listen ADDR:PORT [--cert F --key F]\n"
    "                      [--fault SPEC]... [--trace FILE]\n"
    "      serve clients; prints \"listening on ADDR:PORT\" when ready (port 0: any free port);\n"
    "      without --cert/--key the store's self-signed files are used\n"
    "  corvio-server restore --store DIR --catalog N --to DIR [--path PREFIX]\n"
    "      rebuild the directories and files of finished run N below --to (C:\\Data\\a.txt as\n"
    "      C/Data/a.txt, /home/a/x as home/a/x); --path: only those at or below that catalog path\n"
    "  corvio-server verify --store DIR [--catalog N]\n"
    "      check every block of run N (default: of every finished run) and its catalog\n"
    "  corvio-server catalogs --store DIR [--login L]\n"
    "      list the runs: number, login, profile tag, end-of-run statistics or \"unfinished\"\n"
    "\n"
    "fault SPECs (N: how many times, always when omitted; REPLY: greeting, login, profile,\n"
    "catalog, query, store, stored, ref, finish):\n"
    "  login=HH[:N]  greeting=short[:N]  greeting=badcode[:N]  catalog-refuse[=N]\n"
    "  split=REPLY[:N]  trailing=REPLY[:N]  drop=M[:N]  silent=REPLY[:N]\n"
    "  profile-unknown[=N]  store-status=HH[:N]\n";

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

int usage_error(const std::string& text) {
  std::fprintf(stderr, "corvio-server: %s\n%s", text.c_str(), kUsage);
  return 2;
}

int fail(const std::string& text) {
  std::fprintf(stderr, "corvio-server: %s\n", text.c_str());
  return 1;
}

bool parse_args(int argc, char** argv, const std::vector<std::string>& known, Args* args,
                std::string* error) {
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
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      *error = "option --" + name + " needs a value";
      return false;
    }
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      *error = "unknown option --" + name;
      return false;
    }
    args->options.emplace(name, value);
  }
  if (!args->has("store")) {
    *error = "--store DIR is required";
    return false;
  }
  return true;
}

int cmd_init(const Args& args) {
  if (!args.positional.empty()) return usage_error("init takes no arguments");
  std::string dir = args.get("store");
  std::string error;
  if (!Store::create(dir, &error)) return fail(error);
  if (args.has("self-signed") && !write_self_signed(dir, args.get("self-signed"), &error)) {
    return fail(error);
  }
  return 0;
}

int cmd_add_login(const Args& args) {
  if (args.positional.size() != 1) return usage_error("add-login takes one LOGIN");
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
  if (args.positional.size() != 2) return usage_error("add-profile takes LOGIN and TAG");
  std::string error;
  std::unique_ptr<Store> store = Store::open(args.get("store"), &error);
  if (!store) return fail(error);
  uint32_t id = 0;
  if (!store->add_profile(args.positional[0], args.positional[1], &id, &error)) return fail(error);
  return 0;
}

int cmd_serve(const Args& args) {
  if (!args.positional.empty()) return usage_error("serve takes no arguments");
  std::string listen = args.get("listen");
  size_t colon = listen.rfind(':');
  if (colon == std::string::npos) return usage_error("--listen ADDR:PORT is required");
  std::string host = listen.substr(0, colon);
  std::string port = listen.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (args.has("cert") != args.has("key")) return usage_error("--cert and --key go together");

  Faults faults;
  std::string error;
  for (auto [it, end] = args.options.equal_range("fault"); it != end; ++it) {
    if (!parse_fault(it->second, &faults, &error)) return usage_error(error);
  }
  std::unique_ptr<Store> store = Store::open(args.get("store"), &error);
  if (!store) return fail(error);
  std::string cert = args.has("cert") ? args.get("cert") : store->dir() + "/server.pem";
  std::string key = args.has("key") ? args.get("key") : store->dir() + "/server.key";
  SslCtxPtr ctx = make_server_context(cert, key, &error);
  if (!ctx) return fail(error);
  std::unique_ptr<Trace> trace;
  if (args.has("trace")) {
    trace = Trace::open(args.get("trace"), &error);
    if (!trace) return fail(error);
  }
  std::unique_ptr<Listener> listener = Listener::open(host, port, &error);
  if (!listener) return fail(error);
  listener->stop_on_signals();

  std::printf("listening on %s\n", listener->address().c_str());
  std::fflush(stdout);
  Server(*store, ctx.get(), faults, trace.get()).run(*listener);
  std::fprintf(stderr, "corvio-server: stopped\n");
  return 0;
}

int run(int argc, char** argv) {
  if (argc < 2) return usage_error("no command");
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  Args args;
  std::string error;
  if (command == "init") {
    if (!parse_args(argc, argv, {"store", "self-signed"}, &args, &error)) return usage_error(error);
    return cmd_init(args);
  }
  if (command == "add-login") {
    if (!parse_args(argc, argv, {"store"}, &args, &error)) return usage_error(error);
    return cmd_add_login(args);
  }
  if (command == "add-profile") {
    if (!parse_args(argc, argv, {"store"}, &args, &error)) return usage_error(error);
    return cmd_add_profile(args);
  }
  if (command == "serve") {
    if (!parse_args(argc, argv, {"store", "listen", "cert", "key", "fault", "trace"}, &args,
                    &error)) {
      return usage_error(error);
    }
    return cmd_serve(args);
  }
  if (is_admin_command(command)) {
    if (!parse_args(argc, argv, admin_command_options(command), &args, &error)) {
      return usage_error(error);
    }
    std::string usage;
    int status = run_admin_command(command, args.options, args.positional, &usage);
    return usage.empty() ? status : usage_error(usage);
  }
  return usage_error("unknown command " + command);
}

}  // namespace
}  // namespace corvio::server

int main(int argc, char** argv) { return corvio::server::run(argc, argv); }
