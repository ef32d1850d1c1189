#include "mqtt/mqtt_client_setup.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>

namespace noxa {

std::string MqttReason(int rc, int error) {
    switch (rc) {
        case MOSQ_ERR_ERRNO:
            return std::strerror(error);
        case MOSQ_ERR_EAI:
            return "host name lookup failed";
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return "connection lost";
        case MOSQ_ERR_TLS:
            return "TLS error";
        case MOSQ_ERR_KEEPALIVE:
            return "no answer to keep-alive";
        default: {
            std::string text = mosquitto_strerror(rc);
            if (!text.empty() && text.back() == '.') text.pop_back();
            return text;
        }
    }
}

std::string MqttRefusal(int code) {
    switch (code) {
        case 1:
            return "refused: protocol version not accepted";
        case 2:
            return "refused: client id not accepted";
        case 3:
            return "refused: broker unavailable";
        case 4:
            return "refused: bad user name or password";
        case 5:
            return "refused: not authorised";
        default:
            return "refused (code " + std::to_string(code) + ")";
    }
}

bool SetMqttLogin(mosquitto* mosq, const std::string& user, const std::string& password,
                  const std::string& caFile, std::string& problem) {
    if (!user.empty())
        mosquitto_username_pw_set(mosq, user.c_str(),
                                  password.empty() ? nullptr : password.c_str());
    if (caFile.empty()) return true;
    const int rc = mosquitto_tls_set(mosq, caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (rc == MOSQ_ERR_SUCCESS) return true;
    problem = "MQTT CA file \"" + caFile + "\" cannot be used: " + MqttReason(rc, errno);
    return false;
}

}  // namespace noxa
