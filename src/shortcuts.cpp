// Shortcuts and uninstall entry: the two Tolvenar.lnk files and the current
// user's entry in the list of installed programs. The uninstaller finds both
// again through shortcut_paths and uninstall_key. No failure here fails an
// installation: a missing shortcut or value is all it costs, and a line in
// the log says which and why.
#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formats/shell_link.h"
#include "handles.h"
#include "install.h"
#include "log.h"

const char uninstall_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tolvenar_Varnix";

namespace {

const char display_name[] = "Tolvenar (Varnix)";
const char publisher[] = "Varnix port (fan project)";

// Owns one COM interface pointer and releases it on every path.
template <typename T>
class com_ref {
public:
    com_ref() = default;
    com_ref(const com_ref&) = delete;
    com_ref& operator=(const com_ref&) = delete;
    ~com_ref() {
        if (p_) p_->Release();
    }
    T* operator->() const { return p_; }
    void** put_void() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// An empty out when the lookup fails: "\Tolvenar.lnk" in a drive root is
// nobody's shortcut, so nothing is made there and nothing deleted there.
void link_path(int csidl, char* out) {
    char folder[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, folder)) || !folder[0]) {
        out[0] = 0;
        return;
    }
    snprintf(out, PATH_CHARS, "%s\\%s.lnk", folder, "Tolvenar");
}

// A name in ASCII reads the same in every code page.
bool is_ascii(const char* text) {
    for (; *text; text++)
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    return true;
}

// Takes the LinkInfo block out of a saved link, where the shell kept it
// although asked not to (Wine's does).
void drop_link_info(const char* link) {
    const uint64_t link_bytes_max = 1 << 20;  // a link is a few hundred bytes
    uint64_t len = 0;
    unsigned char* data = read_file(link, &len, link_bytes_max);
    if (!data) {
        setup_log("cannot read back the shortcut %s to take out its LinkInfo block (%s)", link,
                  error_text(GetLastError()).c_str());
        return;
    }
    std::vector<uint8_t> bytes(data, data + len);
    free(data);
    switch (lnk::drop_link_info(bytes)) {
    case lnk::status::found: write_file(link, bytes.data(), bytes.size()); break;
    case lnk::status::none: break;
    case lnk::status::malformed:
        setup_log("the shortcut %s as saved is no shell link this setup can read; its LinkInfo block stays", link);
        break;
    }
}

void set_value(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    const LSTATUS rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    if (rc != ERROR_SUCCESS)
        setup_log("cannot write the value %s of the uninstall entry (%s)", name, error_text(DWORD(rc)).c_str());
}

void set_text(HKEY key, const char* name, const char* text) {
    set_value(key, name, REG_SZ, text, static_cast<DWORD>(strlen(text) + 1));
}

void set_dword(HKEY key, const char* name, DWORD value) { set_value(key, name, REG_DWORD, &value, sizeof value); }

void link_failed(const char* link, HRESULT result) {
    setup_log("cannot create the shortcut %s (%s)", link, error_text(DWORD(result)).c_str());
}

}  // namespace

void shortcut_paths(char* start_menu_link, char* desktop_link) {
    link_path(CSIDL_PROGRAMS, start_menu_link);
    link_path(CSIDL_DESKTOPDIRECTORY, desktop_link);
}

// Written through the UTF-16 interface, every text converted from the
// process's code page, so that any character survives (Wine 8's IShellLinkA converts
// with the system's code page, not the process's UTF-8).
//
// A link to a target outside ASCII carries no LinkInfo block: that block
// holds the target's path only in this process's code page (UTF-8), which
// every reader in another code page decodes wrongly, and then fails to
// start the target. The ID list names the target for every reader.
void make_link(const char* link, const char* target, const char* workdir) {
    if (!link[0]) return;
    const std::wstring wlink = widen(link), wtarget = widen(target), wdir = widen(workdir);
    if (wlink.empty() || wtarget.empty()) {
        setup_log("cannot create the shortcut %s (its name or target is no text in this code page)", link);
        return;
    }
    com_ref<IShellLinkW> shell_link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      shell_link.put_void());
    if (FAILED(result)) {
        link_failed(link, result);
        return;
    }
    shell_link->SetPath(wtarget.c_str());
    shell_link->SetWorkingDirectory(wdir.c_str());
    shell_link->SetDescription(L"Tolvenar");
    shell_link->SetIconLocation(wtarget.c_str(), 0);
    const bool plain = is_ascii(target);
    if (!plain) {
        com_ref<IShellLinkDataList> data_list;
        DWORD flags = 0;
        if (SUCCEEDED(shell_link->QueryInterface(IID_IShellLinkDataList, data_list.put_void())) &&
            SUCCEEDED(data_list->GetFlags(&flags)))
            data_list->SetFlags(flags | SLDF_FORCE_NO_LINKINFO);
    }

    com_ref<IPersistFile> file;
    result = shell_link->QueryInterface(IID_IPersistFile, file.put_void());
    if (SUCCEEDED(result)) result = file->Save(wlink.c_str(), TRUE);
    if (FAILED(result)) {
        link_failed(link, result);
        return;
    }
    if (!plain) drop_link_info(link);
}

void write_uninstall_entry(const install_opts* o, uint32_t estimated_kib) {
    HKEY raw = nullptr;
    const LSTATUS rc = RegCreateKeyExA(HKEY_CURRENT_USER, uninstall_key, 0, nullptr, 0, KEY_WRITE, nullptr, &raw,
                                       nullptr);
    if (rc != ERROR_SUCCESS) {
        setup_log("cannot write the uninstall entry HKEY_CURRENT_USER\\%s (%s)", uninstall_key,
                  error_text(DWORD(rc)).c_str());
        return;
    }
    reg_key key(raw);

    // DisplayName and Publisher are written with their sizes as built, the
    // composed texts with their length plus the terminator.
    set_value(key.get(), "DisplayName", REG_SZ, display_name, sizeof display_name);
    char text[FILE_PATH_CHARS];
    snprintf(text, sizeof text, "\"%s\\uninstall.exe\" /uninstall", o->install_dir);
    set_text(key.get(), "UninstallString", text);
    snprintf(text, sizeof text, "%s\\tolvenar.exe,0", o->install_dir);
    set_text(key.get(), "DisplayIcon", text);
    set_text(key.get(), "InstallLocation", o->install_dir);
    set_value(key.get(), "Publisher", REG_SZ, publisher, sizeof publisher);
    set_dword(key.get(), "EstimatedSize", estimated_kib);
    set_dword(key.get(), "NoModify", 1);
    set_dword(key.get(), "NoRepair", 1);
}
