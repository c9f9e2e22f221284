#pragma once
// A private ALSA configuration for tests: the whole configuration alsa-lib reads
// (ALSA_CONFIG_PATH) is a temporary file of the test's own, so the tests run the
// same with or without a sound card or sound server.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace qvtest {

// The test-source plugin, built next to the test programs.
inline std::string TestSourcePlugin()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (exe.parent_path() / "libasound_module_pcm_qvsource.so").string();
}

class TPrivateAlsaConfig {
public:
    // `text` is the configuration; an empty text means no device at all.
    explicit TPrivateAlsaConfig(const std::string& text)
    {
        char tmpl[] = "/tmp/qv-alsa-XXXXXX";
        FDir = ::mkdtemp(tmpl) ? tmpl : "/tmp";
        FPath = FDir + "/asound.conf";
        std::ofstream(FPath) << text << "\n";
        if (const char* old = std::getenv("ALSA_CONFIG_PATH")) {
            FHadOld = true;
            FOld = old;
        }
        ::setenv("ALSA_CONFIG_PATH", FPath.c_str(), 1);
    }
    ~TPrivateAlsaConfig()
    {
        if (FHadOld)
            ::setenv("ALSA_CONFIG_PATH", FOld.c_str(), 1);
        else
            ::unsetenv("ALSA_CONFIG_PATH");
        std::error_code ec;
        std::filesystem::remove_all(FDir, ec);
    }
    TPrivateAlsaConfig(const TPrivateAlsaConfig&) = delete;
    TPrivateAlsaConfig& operator=(const TPrivateAlsaConfig&) = delete;

    const std::string& Dir() const { return FDir; }

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
    // "default" = the paced test source with the given extra fields.
    static std::string TestSource(const std::string& fields)
    {
        return "pcm_type.qvsource { lib \"" + TestSourcePlugin() + "\" }\npcm.!default { type qvsource " + fields +
               " }";
    }

private:
    std::string FDir, FPath, FOld;
    bool FHadOld = false;
};

} // namespace qvtest
