#include "tests/app/package_key_support.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include <glib.h>

namespace app_test {

namespace {

std::string Script(const std::string& name) {
  return std::string(CORVANE_SOURCE_DIR) + "/scripts/" + name;
}

}  // namespace

std::string CommandOutput(const std::vector<std::string>& argv, int* status) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  gchar* out = nullptr;
  gint wait_status = -1;
  const gboolean ran = g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                    nullptr, &out, nullptr, &wait_status, nullptr);
  std::string text = out ? out : "";
  g_free(out);
  if (status) *status = ran && WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return text;
}

KeyPair MakeKeyPair(const TempDir& dir, const std::string& name, const std::string& curve) {
  KeyPair pair{dir.Sub(name + ".key.pem"), dir.Sub(name + ".pub.pem")};
  if (curve == "P-256") {
    CommandOutput({Script("sign-package"), "--new-key", pair.private_pem, pair.public_pem});
  } else {
    CommandOutput({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                   "ec_paramgen_curve:" + curve, "-out", pair.private_pem});
    CommandOutput({"openssl", "pkey", "-in", pair.private_pem, "-pubout", "-out", pair.public_pem});
  }
  return pair;
}

std::string SignPackage(const std::string& private_pem, const std::string& package) {
  return CommandOutput({Script("sign-package"), private_pem, package});
}

std::string StampedInstallerCopy(const TempDir& dir, const std::string& name,
                                 const std::vector<std::string>& public_pems) {
  const std::string copy = dir.Sub(name);
  WriteFile(copy, ReadFile(InstallerPath()));
  chmod(copy.c_str(), 0755);
  std::vector<std::string> argv = {Script("restamp-key"), copy};
  if (public_pems.empty()) argv.push_back("--none");
  argv.insert(argv.end(), public_pems.begin(), public_pems.end());
  int status = -1;
  CommandOutput(argv, &status);
  return status == 0 ? copy : std::string();
}

std::string PublicKeyDer(const std::string& public_pem) {
  const std::string der = public_pem + ".der";
  CommandOutput({"openssl", "pkey", "-pubin", "-in", public_pem, "-outform", "DER", "-out", der});
  return ReadFile(der);
}

std::string Hex(const void* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<const unsigned char*>(data)[i];
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
  }
  return out;
}

}  // namespace app_test
