#include "words/words.h"

#include "base/texts.h"
#include "blocks/texts.h"
#include "words/texts.h"

namespace {

std::string NameText(const TextPair& text, const std::string& name, uint64_t a = 0, uint64_t b = 0) {
  return FormatText(Tr(text), name.c_str(), static_cast<unsigned long long>(a), static_cast<unsigned long long>(b));
}

}  // namespace

std::string FatFilesMessage(const FatFilesResult& r) {
  switch (r.error) {
    case FatFilesError::kNone: return "";
    case FatFilesError::kRead: return Tr(kFilesReadFailed);
    case FatFilesError::kWrite: return Tr(kFilesWriteFailed);
    case FatFilesError::kNotFat: return Tr(kFilesNotFat);
    case FatFilesError::kBadName: return NameText(kFilesBadName, r.name);
    case FatFilesError::kNotFound: return NameText(kFilesNotFound, r.name);
    case FatFilesError::kNotDirectory: return NameText(kFilesNotDirectory, r.name);
    case FatFilesError::kIsDirectory: return NameText(kFilesIsDirectory, r.name);
    case FatFilesError::kExists: return NameText(kFilesExists, r.name);
    case FatFilesError::kDiskFull: return NameText(kFilesDiskFull, r.name, r.needed, r.available);
    case FatFilesError::kRootFull: return NameText(kFilesRootFull, r.name);
    case FatFilesError::kNotEmpty: return NameText(kFilesNotEmpty, r.name);
    case FatFilesError::kDamaged: return NameText(kFilesDamaged, r.name);
    case FatFilesError::kTooLarge: return NameText(kFilesTooLarge, r.name);
    case FatFilesError::kStopped: return NameText(kFilesStopped, r.name);
    case FatFilesError::kOpen: return Tr(kFilesOpenFailed);
    case FatFilesError::kInUse: return Tr(kFilesInUse);
  }
  return "";
}

std::string OemTextRefusal(const OemText& text, size_t maxBytes) {
  if (text.fault == OemTextFault::kNotInCodePage)
    return FormatText(Tr(kOemNotInCodePage), text.character.c_str(), text.codePage);
  if (text.fault == OemTextFault::kTooLong)
    return FormatText(Tr(kOemTooLong), static_cast<unsigned>(text.bytes.size()), text.codePage,
                      static_cast<unsigned>(maxBytes));
  return "";
}

std::optional<BlockNotice> BlockIdentifyNotice(const BlockIdentify& identify) {
  auto notice = [](const std::string& text) { return BlockNotice{text, Tr(kBlockCaption), false}; };
  switch (identify.fault) {
    case IdentifyFault::kNone: return std::nullopt;
    case IdentifyFault::kNoDisk: return notice(Tr(kSelectUsbDisk));
    case IdentifyFault::kServiceOff: return notice(Tr(kStartService));
    case IdentifyFault::kEmpty: return notice(Tr(kIdentifyEmpty));
    case IdentifyFault::kNotStorable: return notice(OemTextRefusal(identify.oem, kMaxIdentifierLength));
    case IdentifyFault::kOpen: return notice(Tr(kIdentifyOpenFailure));
    case IdentifyFault::kRead: return notice(Tr(kIdentifyReadFailure));
    case IdentifyFault::kNoLabel: return notice(Tr(kIdentifyNoLabel));
    case IdentifyFault::kWrite: break;
  }
  return notice(Tr(kIdentifyWriteFailure));
}

std::optional<std::string> BlockIdentifyStatus(const BlockIdentify& identify) {
  switch (identify.fault) {
    case IdentifyFault::kOpen: return std::string(Tr(kIdentifyOpenFailureStatus));
    case IdentifyFault::kRead: return std::string(Tr(kIdentifyReadFailureStatus));
    case IdentifyFault::kWrite: return std::string(Tr(kIdentifyWriteFailureStatus));
    // Shown in Chinese only; the English status text stays as it was.
    case IdentifyFault::kNone:
      if (UiLanguage == Language::Chinese) return std::string(kIdentifyDoneStatusZh);
      return std::nullopt;
    default: return std::nullopt;
  }
}
