#pragma once

#include <string>

struct mosquitto;

namespace noxa {

// What the station's publisher and the archive's subscriber share of a libmosquitto client.

// Why a call failed, for the log; `error` is errno right after the call.
std::string MqttReason(int rc, int error);

// Why the broker turned the connection down (MQTT 3.1.1 return codes).
std::string MqttRefusal(int code);

// Sets the user and password (none when `user` is empty) and, with a CA file (PEM), TLS; false
// with `problem` set when the CA file cannot be used. The password is never part of `problem`.
bool SetMqttLogin(mosquitto* mosq, const std::string& user, const std::string& password,
                  const std::string& caFile, std::string& problem);

}  // namespace noxa
