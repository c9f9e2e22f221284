#pragma once
// A private ALSA configuration for tests: the whole configuration alsa-lib reads
// (ALSA_CONFIG_PATH) is a temporary file of the test's own, so the tests run the
// same with or without a sound card or sound server.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace qvtest {

class TPrivateAlsaConfig {
public:
    // `text` is the configuration; an empty text means no device at all.
    explicit TPrivateAlsaConfig(const std::string& text)
    {
        char tmpl[] = "/tmp/qv-alsa-XXXXXX";
        FDir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
        std::ofstream(FDir + "/asound.conf") << text << "\n";
        if (const char* old = std::getenv("ALSA_CONFIG_PATH"))
            FOld = old;
        ::setenv("ALSA_CONFIG_PATH", (FDir + "/asound.conf").c_str(), 1);
    }
    ~TPrivateAlsaConfig()
    {
        if (FOld)
            ::setenv("ALSA_CONFIG_PATH", FOld->c_str(), 1);
        else
            ::unsetenv("ALSA_CONFIG_PATH");
        std::error_code ec;
        std::filesystem::remove_all(FDir, ec);
    }
    TPrivateAlsaConfig(const TPrivateAlsaConfig&) = delete;
    TPrivateAlsaConfig& operator=(const TPrivateAlsaConfig&) = delete;

    // Writes bytes to a file in the private folder and returns its path.
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        const std::string path = FDir + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // "default" = the file plugin over null, serving the bytes of `infile`
    // instantly (exact bytes, no pacing).
    static std::string FileOverNull(const std::string& infile)
    {
        return "pcm.!default { type file slave.pcm { type null } file \"/dev/null\" infile \"" + infile +
               "\" format \"raw\" }";
    }
    // "default" = the paced test source (the plugin built next to the test
    // programs) with the given extra fields.
    static std::string TestSource(const std::string& fields)
    {
        std::error_code ec;
        const auto plugin = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() /
                            "libasound_module_pcm_qvsource.so";
        return "pcm_type.qvsource { lib \"" + plugin.string() + "\" }\npcm.!default { type qvsource " + fields + " }";
    }

private:
    std::string FDir;
    std::optional<std::string> FOld;
};

} // namespace qvtest
