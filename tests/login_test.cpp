#include "launcher/net/login.h"
#include "launcher/platform/secure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_server_client.h"

namespace {

using bx_test::JournalEntry;
using bx_test::ServerTag;

const std::string kToken(40, 'T');

// The account server of one test: the session endpoint is /files/session, the start endpoint
// /files/session/start, each answered with what the test stores.
class LoginTest : public testing::Test {
protected:
    void SetUp() override {
        config_.loginUrl = server_.url("/files/session");
        config_.loginTimeoutSeconds = 5;
    }

    void answer_session(int status, const std::string& body, const std::string& options = {}) {
        server_.store_file("session", body, query(status, options));
    }
    void answer_start(int status, const std::string& body, const std::string& options = {}) {
        server_.store_file("session/start", body, query(status, options));
    }
    void answer_success(const std::string& token = kToken) {
        answer_session(201, "{\"token\":\"" + token + "\"}");
        answer_start(200, "{\"channelId\":7}");
    }

    std::vector<JournalEntry> requests_to(const std::string& path) const {
        std::vector<JournalEntry> found;
        for (JournalEntry& entry : server_.journal()) {
            if (entry.path == path) {
                found.push_back(std::move(entry));
            }
        }
        return found;
    }

    std::uint32_t login(std::wstring_view username = L"alice", std::wstring_view password = L"pw") {
        return bx::login(config_, username, password);
    }

    // What login throws: "type: text".
    std::string failure(std::wstring_view username = L"alice", std::wstring_view password = L"pw") {
        try {
            login(username, password);
        } catch (const bx::AuthenticationError& error) {
            return std::string("authentication: ") + error.what();
        } catch (const std::invalid_argument& error) {
            return std::string("invalid argument: ") + error.what();
        } catch (const std::runtime_error& error) {
            return std::string("runtime: ") + error.what();
        }
        return "(no exception)";
    }

    ServerTag server_;
    bx::LauncherConfig config_;

private:
    static std::string query(int status, const std::string& options) {
        return "status=" + std::to_string(status) + "&content_type=application/json" +
               (options.empty() ? "" : "&" + options);
    }
};

TEST_F(LoginTest, SendsTheCredentialsThenTheTokenAndReturnsTheChannel) {
    answer_success();
    EXPECT_EQ(login(L"al\"ice\\", L"p\u00F1\n\"x"), 7u);

    const std::vector<JournalEntry> journal = server_.journal();
    ASSERT_EQ(journal.size(), 2u);
    EXPECT_EQ(journal[0].method, "POST");
    EXPECT_EQ(journal[0].path, "/files/session");
    EXPECT_EQ(journal[0].body,
              "{\"username\":\"al\\\"ice\\\\\",\"password\":\"p\xC3\xB1\\n\\\"x\"}");
    EXPECT_EQ(journal[0].header("Authorization"), nullptr);
    EXPECT_EQ(journal[1].method, "POST");
    EXPECT_EQ(journal[1].path, "/files/session/start");
    EXPECT_EQ(journal[1].body, "{}");
    ASSERT_NE(journal[1].header("Authorization"), nullptr);
    EXPECT_EQ(*journal[1].header("Authorization"), "Bearer " + kToken);
    for (const JournalEntry& request : journal) {
        ASSERT_NE(request.header("Content-Type"), nullptr);
        EXPECT_EQ(*request.header("Content-Type"), "application/json");
    }
}

TEST_F(LoginTest, LimitsTheCredentialsInUtf8Bytes) {
    struct Case {
        std::wstring username;
        std::wstring password;
        bool accepted;
    };
    const Case cases[] = {
        {std::wstring(20, L'u'), L"pw", true},
        {std::wstring(21, L'u'), L"pw", false},
        {std::wstring(10, L'\u00F1'), L"pw", true},
        {std::wstring(11, L'\u00F1'), L"pw", false},  // 22 bytes
        {L"alice", std::wstring(64, L'p'), true},
        {L"alice", std::wstring(65, L'p'), false},
        {L"", L"pw", false},
        {L"alice", L"", false},
    };
    answer_success();
    std::size_t sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.username.size() << " / " << c.password.size());
        if (c.accepted) {
            EXPECT_EQ(login(c.username, c.password), 7u);
            ++sent;
        } else {
            EXPECT_EQ(failure(c.username, c.password),
                      "invalid argument: El usuario debe tener de 1 a 20 caracteres y la "
                      "contraseña de 1 a 64.");
        }
        EXPECT_EQ(requests_to("/files/session").size(), sent);
    }
}

struct StatusCase {
    int status;
    const char* failure;
};

// The answer's status where GoogleTest prints the parameter (ctest's test names, failures), and
// as the case's name.
void PrintTo(const StatusCase& c, std::ostream* os) { *os << "Status" << c.status; }

std::string status_case_name(const testing::TestParamInfo<StatusCase>& info) {
    return "Status" + std::to_string(info.param.status);
}

class LoginSessionStatusTest : public LoginTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(LoginSessionStatusTest, MapsTheSessionAnswer) {
    answer_session(GetParam().status, "{\"token\":\"" + kToken + "\"}");
    answer_start(200, "{\"channelId\":7}");
    EXPECT_EQ(failure(), GetParam().failure);
    EXPECT_EQ(requests_to("/files/session").size(), 1u);
    EXPECT_TRUE(requests_to("/files/session/start").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, LoginSessionStatusTest,
    testing::Values(
        StatusCase{401, "authentication: Usuario o contraseña incorrectos."},
        StatusCase{429, "authentication: Demasiados intentos fallidos. Espera 15 minutos e "
                        "inténtalo otra vez."},
        StatusCase{503, "runtime: El servidor de cuentas no está disponible. Inténtalo en unos "
                        "minutos."},
        StatusCase{200, "runtime: El servidor de cuentas respondió con el estado 200."},
        StatusCase{500, "runtime: El servidor de cuentas respondió con el estado 500."}),
    status_case_name);

TEST_F(LoginTest, TreatsARedirectOfTheSessionRequestAsAStatus) {
    config_.loginUrl = server_.url("/redirect/307?to=/t/" + server_.tag() + "/files/session");
    answer_success();
    EXPECT_EQ(failure(), "runtime: El servidor de cuentas respondió con el estado 307.");
    EXPECT_EQ(server_.journal().size(), 1u);
}

TEST_F(LoginTest, RefusesEverySessionAnswerWithoutAValidToken) {
    const std::string bodies[] = {
        "not json",
        "[\"" + kToken + "\"]",
        "{}",
        "{\"token\":5}",
        "{\"token\":null}",
        "{\"token\":\"" + kToken + "\",\"token\":\"" + kToken + "\"}",
        "{\"token\":\"" + std::string(31, 'a') + "\"}",
        "{\"token\":\"" + std::string(129, 'a') + "\"}",
        "{\"token\":\"" + std::string(31, 'a') + "+\"}",
        "{\"token\":\"" + std::string(31, 'a') + "/\"}",
        "{\"token\":\"" + std::string(31, 'a') + "=\"}",
        "{\"token\":\"" + std::string(31, 'a') + ".\"}",
        "{\"token\":\"" + std::string(31, 'a') + " \"}",
    };
    answer_start(200, "{\"channelId\":7}");
    for (const std::string& body : bodies) {
        SCOPED_TRACE(body);
        answer_session(201, body);
        EXPECT_EQ(failure(), "runtime: El servidor de cuentas devolvió una sesión no válida.");
    }
    EXPECT_TRUE(requests_to("/files/session/start").empty());
}

TEST_F(LoginTest, AcceptsTokensOf32And128BytesOfTheWholeAlphabet) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
    for (const std::string& token : {alphabet.substr(0, 32), alphabet + alphabet}) {
        SCOPED_TRACE(token.size());
        answer_success(token);
        EXPECT_EQ(login(), 7u);
        const std::vector<JournalEntry> starts = requests_to("/files/session/start");
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(*starts.back().header("Authorization"), "Bearer " + token);
    }
}

class LoginStartStatusTest : public LoginTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(LoginStartStatusTest, MapsTheStartAnswerAndNeverRepeatsTheSessionRequest) {
    answer_session(201, "{\"token\":\"" + kToken + "\"}");
    answer_start(GetParam().status, "{\"channelId\":7}");
    EXPECT_EQ(failure(), GetParam().failure);
    EXPECT_EQ(requests_to("/files/session").size(), 1u);
    EXPECT_EQ(requests_to("/files/session/start").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, LoginStartStatusTest,
    testing::Values(
        StatusCase{401, "authentication: La sesión expiró; vuelve a iniciar sesión."},
        StatusCase{201, "runtime: El servidor de cuentas respondió con el estado 201."},
        StatusCase{429, "runtime: El servidor de cuentas respondió con el estado 429."},
        StatusCase{503, "runtime: El servidor de cuentas respondió con el estado 503."}),
    status_case_name);

TEST_F(LoginTest, ReadsTheChannelAsAnUnsigned32BitInteger) {
    answer_session(201, "{\"token\":\"" + kToken + "\"}");
    struct Case {
        const char* channel;
        std::int64_t value;  // -1: refused
    };
    const Case cases[] = {
        {"0", 0}, {"4294967295", 4294967295}, {"7.0", 7}, {"7e0", 7},
        {"-1", -1}, {"4294967296", -1}, {"1.5", -1}, {"\"7\"", -1}, {"null", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.channel);
        answer_start(200, std::string("{\"channelId\":") + c.channel + ",\"other\":[1]}");
        if (c.value >= 0) {
            EXPECT_EQ(login(), static_cast<std::uint32_t>(c.value));
        } else {
            EXPECT_EQ(failure(), "runtime: El servidor de cuentas devolvió un canal no válido.");
        }
    }
    for (const char* body : {"{}", "[7]", "not json"}) {
        SCOPED_TRACE(body);
        answer_start(200, body);
        EXPECT_EQ(failure(), "runtime: El servidor de cuentas devolvió un canal no válido.");
    }
}

TEST_F(LoginTest, AnOversizedAnswerIsRefusedWhateverItsStatus) {
    answer_session(401, std::string(65537, 'x'));
    EXPECT_EQ(failure(), "runtime: The authentication server returned an oversized response");
}

TEST_F(LoginTest, TimesOutOnAStalledAnswer) {
    config_.loginTimeoutSeconds = 1;
    answer_session(201, "{\"token\":\"" + kToken + "\"}", "stall=6");
    const std::string text = failure();
    EXPECT_NE(text, "(no exception)");
    if (bx_test::running_under_wine()) {
        GTEST_SKIP() << "Wine reports the time-out as a socket error (10060): " << text;
    }
    EXPECT_EQ(text,
              "runtime: El servidor tardó demasiado en responder. Revisa tu internet e inténtalo "
              "otra vez. (código 12002)");
}

TEST_F(LoginTest, LeavesTheCallersPasswordUntouched) {
    answer_success();
    const std::wstring password = L"secret password";
    EXPECT_EQ(login(L"alice", password), 7u);
    EXPECT_EQ(password, L"secret password");
}

TEST(WipeAndRelease, ZeroesAndEmptiesTheString) {
    for (std::size_t size : {5u, 100u}) {
        std::string text(size, 's');
        bx::wipe_and_release(text);
        EXPECT_TRUE(text.empty());
    }
}

}  // namespace
