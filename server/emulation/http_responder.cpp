#include "server/emulation/http_responder.h"

#include "common/byte_order.h"
#include "common/image_layout.h"
#include "common/name_hash.h"
#include "common/text.h"
#include "server/emulation/form_query.h"
#include "server/emulation/page_renderer.h"

namespace brindlecor::server {

namespace img = brindlecor::image;

namespace {

constexpr std::string_view kGet = "get ";
constexpr std::string_view kStatusOk = "HTTP/1.0 200 OK\r\nContent-Type: ";
constexpr size_t kMaxExtension = 8;

const uint32_t kDefaultDocumentHash = static_cast<uint32_t>(calcHASH("index.htm"));

// The value text of an object kind that has one; false for a read past the top of RAM.
bool appendObjectValue(const Device& device, const LookupRecord& object, std::string& out) {
    const uint32_t address = object.address;
    auto fits = [&](uint32_t count) { return address + count <= 0x10000; };
    switch (object.flags & img::kObjectTypeMask) {
        case img::kTypeBit: {
            const uint32_t at = img::kBitAreaRam + address / 8;
            if (at > 0xFFFF) return false;
            out += ((device.ram[at] >> (address % 8)) & 1) ? '1' : '0';
            return true;
        }
        case img::kTypeByte:
            out += std::to_string(device.ram[address]);
            return true;
        case img::kTypeInteger:
            if (!fits(2)) return false;
            out += std::to_string(static_cast<int16_t>(readLe16(&device.ram[address])));
            return true;
        case img::kTypeLong:
            if (!fits(4)) return false;
            out += std::to_string(static_cast<int32_t>(readLe32(&device.ram[address])));
            return true;
        case img::kTypeString:
            for (uint32_t i = 0; i < object.size; ++i) {
                if (!fits(i + 1)) return false;
                const uint8_t ch = device.ram[address + i];
                if (ch == 0) break;
                out += static_cast<char>(ch);
            }
            return true;
        default:
            return false;
    }
}

// A credential field as a request must carry it: the stored text without its space padding; empty when the
// field was never set (all 0xFF).
std::string_view credentialOf(const Device& device, uint32_t address) {
    const auto* field = reinterpret_cast<const char*>(&device.flash[address]);
    std::string_view text(field, img::kCredentialSize);
    if (text.find_first_not_of('\xFF') == std::string_view::npos) return {};
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// The value of an "Authorization: Basic X" header, from the request as it arrived (the credential is
// compared case for case); `lowered` is the same request in lower case, to find the header by its name.
std::string_view basicCredentials(std::string_view original, std::string_view lowered) {
    constexpr std::string_view kHeader = "\nauthorization:";
    const size_t at = lowered.find(kHeader);
    if (at == std::string_view::npos) return {};
    size_t i = at + kHeader.size();
    while (i < lowered.size() && (lowered[i] == ' ' || lowered[i] == '\t')) ++i;
    if (lowered.substr(i, 6) != "basic ") return {};
    i += 6;
    while (i < lowered.size() && lowered[i] == ' ') ++i;
    size_t end = i;
    while (end < original.size() && original[end] != '\r' && original[end] != '\n' && original[end] != ' ')
        ++end;
    return original.substr(i, end - i);
}

bool hasValueText(uint8_t flags) {
    const uint8_t kind = flags & img::kObjectTypeMask;
    return kind != img::kTypeHex && kind != 5 && kind != 6;
}

}  // namespace

bool HttpResponder::authorized(const Device& device, std::string_view data) const {
    const std::string_view access = credentialOf(device, img::kAccessCredentialAddress);
    const std::string_view master = credentialOf(device, img::kMasterCredentialAddress);
    if (access.empty() && master.empty()) return true;  // an image without credentials protects nothing
    const std::string_view given = basicCredentials(data, request_);
    return !given.empty() && (given == access || given == master);
}

std::string_view contentTypeFor(std::string_view extension) {
    if (extension.empty() || extension == "htm" || extension == "html" || extension == "kvi")
        return "text/html";
    if (extension == "xml") return "text/xml";
    if (extension == "wml") return "text/vnd.wap.wml";
    if (extension == "css") return "text/css";
    if (extension == "js") return "application/javascript";
    if (extension == "json") return "application/json";
    return "text/plain";
}

HttpOutcome HttpResponder::handle(Device& device, std::string_view data) {
    response_.clear();
    if (data.size() <= kGet.size()) {
        // A first segment of a request split right at its start; anything else this short is no request.
        for (size_t i = 0; i < data.size(); ++i)
            if (lowerChar(data[i]) != kGet[i]) return HttpOutcome::Ignore;
        return HttpOutcome::KeepWaiting;
    }
    request_.resize(data.size());
    for (size_t i = 0; i < data.size(); ++i) request_[i] = lowerChar(data[i]);
    const std::string_view text = request_;
    if (!text.starts_with(kGet)) return HttpOutcome::Ignore;

    // The path starts after "get /" (whatever the fifth character is).
    uint32_t hash = kHashStart;
    char extension[kMaxExtension];
    size_t extensionLength = 0;
    bool inExtension = false, extensionTooLong = false, pathEnded = false;
    auto track = [&](char c) {
        if (c == '/' || c == '.') {
            inExtension = c == '.';
            extensionLength = 0;
            extensionTooLong = false;
        } else if (inExtension) {
            if (extensionLength < kMaxExtension)
                extension[extensionLength++] = c;
            else
                extensionTooLong = true;
        }
    };
    for (size_t at = 5; at < text.size();) {
        const char c = text[at];
        if (c == '%') {
            const char decoded = static_cast<char>(decodePercent(text, at));
            hash = hashStep(hash, static_cast<uint8_t>(decoded));
            track(decoded);
            continue;
        }
        if (endsRequestWord(c) || c == '?') {
            pathEnded = true;
            break;
        }
        hash = hashStep(hash, static_cast<uint8_t>(c));
        track(c);
        ++at;
    }
    if (pathEnded && hash == kHashStart) hash = kDefaultDocumentHash;
    const std::string_view pathExtension =
        inExtension && !extensionTooLong ? std::string_view(extension, extensionLength) : std::string_view();

    const auto found = device.lookup(hash);
    if (!found) {
        response_ = kNotFoundResponse;
        return HttpOutcome::Respond;
    }
    const LookupRecord& entry = *found;
    const bool isFile = (entry.flags & img::kObjectEntry) == 0;
    if (requirePasswords_ && isFile && (entry.flags & img::kFilePasswordRequired) &&
        !(entry.flags & img::kFileFormHandler) && !authorized(device, data)) {
        std::string_view realm = device.deviceName;
        while (!realm.empty() && (realm.back() == ' ' || realm.back() == '\0')) realm.remove_suffix(1);
        response_ = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"";
        response_ += realm;
        response_ += "\"\r\n\r\n<h1>401 Unauthorized: this page needs a user name and password</h1>\r\n";
        return HttpOutcome::Respond;
    }
    auto fail = [this] {
        response_.clear();
        return HttpOutcome::CloseWithoutResponse;
    };
    // A page that writes its own status line keeps it; an object value never has one.
    auto pageHeader = [&](std::string_view type, bool unlessPresent = true) {
        if (!pageHeaders_ || (unlessPresent && response_.starts_with("HTTP/"))) return;
        // The length lets a client tell a whole answer from one cut short by a dropped connection.
        header_.assign(kStatusOk);
        header_ += type;
        header_ += "\r\nContent-Length: ";
        header_ += std::to_string(response_.size());
        header_ += "\r\n\r\n";
        response_.insert(0, header_);
    };
    if (entry.flags & img::kFileFormHandler) {
        applyQuery(device, text);
        if (!renderFile(device, entry.address, entry.length, img::kFilePage, response_)) return fail();
        pageHeader(contentTypeFor(pathExtension));
        return HttpOutcome::Respond;
    }
    if ((entry.flags & img::kObjectEntry) && hasValueText(entry.flags)) {
        if (!appendObjectValue(device, entry, response_)) return fail();
        response_ += "\r\n";
        pageHeader("text/plain", false);
        return HttpOutcome::Respond;
    }
    if (!renderFile(device, entry.address, entry.length, entry.flags, response_)) return fail();
    if (entry.flags & (img::kFilePage | img::kFileFormHandler)) pageHeader(contentTypeFor(pathExtension));
    return HttpOutcome::Respond;
}

}  // namespace brindlecor::server
