#include "pages/page_words.h"

#include "base/texts.h"
#include "blocks/texts.h"
#include "usbformat/texts.h"

namespace {

constexpr TextPair kDiskLine{"Disk: ", "磁盘："};

BlockNotice Notice(const std::string& text, const TextPair& caption, bool information = false) {
  return BlockNotice{text, Tr(caption), information};
}

}  // namespace

std::string QuestionNamingDisk(const char* question, const std::string& listLine) {
  return std::string(question) + "\r\n" + Tr(kDiskLine) + listLine;
}

std::string UnitSuggestionText(const RunOutcome& outcome) {
  return FormatText(Tr(outcome.dataSectorsMultiple ? kUnitNotLessExact : kUnitNotLess),
                    static_cast<int>(outcome.suggestedUnit));
}

std::string BlockScanStatus(const BlockScan& scan, const BlockDisk& disk) {
  if (scan.outcome == BlockScanOutcome::kScanned)
    return FormatText(Tr(kScanResultHint), static_cast<int>(scan.validBlockCount));
  const bool off = scan.outcome == BlockScanOutcome::kServiceOff;
  return FormatText(Tr(off ? kServiceNotStartedHint : kDriverNotSwitchedHint), disk.driveNumber,
                    disk.description.c_str());
}

std::string BlockCountLabel(const BlockScan& scan) {
  return FormatText(Tr(kBlockCountLabel), static_cast<int>(scan.blockCount));
}

BlockNotice BlockStepNotice(const BlockStep& step) {
  switch (step.fault) {
    case BlockSwitchFault::kServiceOff:
      return Notice(Tr(step.next ? kStartService : kFirstStartService), kBlockCaption);
    case BlockSwitchFault::kPastArea:
      return Notice(FormatText(Tr(kBlockIndexSloppedOver), static_cast<int>(step.blocksThatFit)), kBlockCaption);
    default: return Notice(Tr(kSelectUsbDisk), kBlockCaption);
  }
}

std::optional<BlockNotice> BlockGoToNotice(const BlockGoTo& go) {
  switch (go.fault) {
    case BlockSwitchFault::kNone: return std::nullopt;
    case BlockSwitchFault::kNoDisk: return Notice(Tr(kSelectUsbDisk), kBlockGoToNoDiskCaption);
    case BlockSwitchFault::kServiceOff: return Notice(Tr(kFirstStartService), kBlockCaption);
    case BlockSwitchFault::kPastEnd: return Notice(Tr(kFloppyIndexSloppedOver), kBlockCaption);
    default: return Notice(FormatText(Tr(kGoToFailure), static_cast<int>(go.block)), kBlockCaption);
  }
}

BlockNotice BlockFormatRefusalNotice(const BlockFormatJob& job, Refusal refusal) {
  switch (refusal) {
    case Refusal::kSectorSizeUnsupported:
      return Notice(FormatText(Tr(kSectorSizeNotSupported), static_cast<int>(job.disk->bytesPerSector)),
                    kSectorSizeCaption);
    case Refusal::kServiceOff: return Notice(Tr(kStartService), kBlockFormatCaption);
    case Refusal::kNoBlockChosen: return Notice(Tr(kFormatChooseBlock), kBlockFormatCaption);
    case Refusal::kLabelNotStorable:
      return Notice(OemTextRefusal(ToOemText(job.identifier, kMaxSingleLabelLength, true), kMaxSingleLabelLength),
                    kBlockFormatCaption);
    case Refusal::kNoDosChosen: return Notice(Tr(kFormatChooseDos), kBlockFormatCaption);
    default: return Notice(Tr(kFormatSelectDiskFirst), kBlockFormatCaption);
  }
}

BlockNotice BlockFormatQuestion(const BlockFormatJob& job) {
  return Notice(QuestionNamingDisk(Tr(kFormatConfirm), job.disk->listLine), kBlockFormatCaption, true);
}

std::string BlockFormatStatus(uint32_t block, BlockStage stage) {
  const TextPair& text = stage == BlockStage::kBegun       ? kBlockFormatBegins
                         : stage == BlockStage::kCompleted ? kBlockFormatCompleted
                                                           : kBlockFormatBlockFailed;
  return FormatText(Tr(text), static_cast<int>(block));
}

BlockNotice BlockFormatOutcomeNotice(const RunOutcome& outcome) {
  const RunStep step = outcome.failedStep;
  if (step == RunStep::kCheck && outcome.refusal == Refusal::kSystemFilesUnusable)
    return Notice(Tr(kBlockSystemFilesUnusable), kBlockFormatCaption);
  if (outcome.stopped)
    return Notice(FormatText(Tr(kBlockFormatStopped), outcome.completed, outcome.failedUnit), kBlockFormatCaption);
  if (step == RunStep::kCapacity || step == RunStep::kVerify)
    return Notice(FormatText(Tr(step == RunStep::kCapacity ? kBlockCapacityFailed : kBlockVerifyFailed),
                             static_cast<unsigned long long>(outcome.sector), outcome.failedUnit),
                  kBlockFormatCaption);
  if (outcome.FailedWriting())
    return Notice(FormatText(Tr(kBlockFormatBlockFailed), static_cast<int>(outcome.failedUnit)), kBlockFormatCaption);
  if (!outcome.Succeeded()) return Notice(Tr(kFormatFailure), kBlockFormatCaption);
  return Notice(Tr(kFormatSuccess), kBlockFormatCaption, true);
}
