// Reading the control file and the app's answers: the records' schemas for the record
// reader, and the mapping from what it read to the record types.
#include <utility>

#include "cli_protocol/records.h"
#include "json/record_reader.h"

namespace tov::protocol {

namespace {

using json::FieldKind;
using json::FieldSchema;
using json::FieldValue;
using json::RecordSchema;

constexpr FieldSchema kHandshakeFields[] = {
    {"version", FieldKind::kU32},
    {"socket", FieldKind::kString},
    {"token", FieldKind::kString},
    {"pid", FieldKind::kU32},
};
constexpr RecordSchema kHandshake{"Handshake", kHandshakeFields};

constexpr FieldSchema kResponseErrorFields[] = {
    {"code", FieldKind::kString},
    {"message", FieldKind::kString},
    {"details", FieldKind::kValue, true},
};
constexpr RecordSchema kResponseError{"ResponseError", kResponseErrorFields};

constexpr FieldSchema kResponseFields[] = {
    {"ok", FieldKind::kBool},
    {"data", FieldKind::kValue, true},
    {"error", FieldKind::kRecord, true, &kResponseError},
};
constexpr RecordSchema kResponse{"Response", kResponseFields};

std::optional<json::Value> optional_value(FieldValue& field) {
  if (!field.present) return std::nullopt;
  return std::move(field.value);
}

ResponseError response_error_from(std::vector<FieldValue>& fields) {
  ResponseError error;
  error.code = std::move(fields[0].text);
  error.message = std::move(fields[1].text);
  error.details = optional_value(fields[2]);
  return error;
}

}  // namespace

std::expected<Handshake, json::ReadError> read_handshake(std::string_view text) {
  auto fields = json::read_record(text, kHandshake);
  if (!fields) return std::unexpected(std::move(fields.error()));
  Handshake handshake;
  handshake.version = (*fields)[0].number;
  handshake.socket = std::move((*fields)[1].text);
  handshake.token = std::move((*fields)[2].text);
  handshake.pid = (*fields)[3].number;
  return handshake;
}

std::expected<Response, json::ReadError> read_response_record(std::string_view text) {
  auto fields = json::read_record(text, kResponse);
  if (!fields) return std::unexpected(std::move(fields.error()));
  Response response;
  response.ok = (*fields)[0].flag;
  response.data = optional_value((*fields)[1]);
  if ((*fields)[2].present) response.error = response_error_from((*fields)[2].record);
  return response;
}

}  // namespace tov::protocol
