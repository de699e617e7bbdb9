#pragma once
// Helpers for tests of the raw scan: a listener that keeps the result list
// and the texts the window would show, and a disk source that serves a
// device to the sector reader and records its reads.

#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "disk/Device.h"
#include "disk/DiskView.h"
#include "disk/SectorReader.h"
#include "save/RawScan.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov::test {

// Keeps what the raw form would show.
class RawFormModel : public RawScanListener {
public:
  void OnStatus(const std::string& text) override {
    status = text;
    statuses.push_back(text);
  }
  void OnProgressVisible(bool visible) override { progressVisible = visible; }
  void OnProgress(int percent, const std::string& text) override {
    progress = percent;
    progressText = text;
    progressTexts.push_back(text);
  }
  void OnResultsCleared() override {
    rows.clear();
    ++clears;
  }
  void OnResultRowInserted(std::size_t row, const std::string& text) override {
    ASSERT_LE(row, rows.size());
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(row), text);
  }
  void OnResultRowChanged(std::size_t row, const std::string& text) override {
    ASSERT_LT(row, rows.size());
    rows[row] = text;
  }
  void OnDocument(const RawDocument& document) override {
    documents.push_back(document);
    rowsAtDocument.push_back(rows);
    if (onDocument) onDocument(document);
  }

  std::string status;
  std::vector<std::string> statuses;
  bool progressVisible = false;
  int progress = 0;
  std::string progressText;
  std::vector<std::string> progressTexts;
  std::vector<std::string> rows;
  int clears = 0;
  std::vector<RawDocument> documents;
  std::vector<std::vector<std::string>> rowsAtDocument;  // the result list after each document
  std::function<void(const RawDocument&)> onDocument;
};

// Serves one device (owned here) for disk 0 and records every read that
// reaches it.
class SharedDeviceOpener : public DeviceOpener {
public:
  explicit SharedDeviceOpener(std::unique_ptr<Device> device) : device_(std::move(device)) {}
  std::unique_ptr<Device> Open(std::string_view path) override {
    if (path != kDevicePathTable[0]) return nullptr;
    return std::make_unique<Forward>(*this);
  }
  struct ReadCall {
    std::uint64_t first;
    std::uint32_t count;
    bool ok;
  };
  std::vector<ReadCall> reads;
  // Called after every read that reaches the device.
  std::function<void(const ReadCall&)> onRead;
  // Copies inside the system that reached the device (sector, bytes asked,
  // bytes copied); with copies off the device copies nothing.
  struct CopyCall {
    std::uint64_t first;
    std::uint64_t bytes;
    std::uint64_t copied;
  };
  std::vector<CopyCall> copies;
  bool copiesOn = true;
  // The most one copy call copies, to stop copies short.
  std::uint64_t copyLimit = UINT64_MAX;
  // Called after every copy that reaches the device.
  std::function<void(const CopyCall&)> onCopy;
  Device& device() { return *device_; }

private:
  struct Forward : Device {
    explicit Forward(SharedDeviceOpener& owner) : owner_(owner) {}
    bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override {
      const bool ok = owner_.device_->Read(first, count, buffer);
      owner_.reads.push_back({first, count, ok});
      if (owner_.onRead) owner_.onRead(owner_.reads.back());
      return ok;
    }
    std::uint64_t CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) override {
      const std::uint64_t copied =
          owner_.copiesOn ? owner_.device_->CopyUnguarded(first, std::min(bytes, owner_.copyLimit), to) : 0;
      owner_.copies.push_back({first, bytes, copied});
      if (owner_.onCopy) owner_.onCopy(owner_.copies.back());
      return copied;
    }
    std::uint64_t SectorCount() const override { return owner_.device_->SectorCount(); }
    SharedDeviceOpener& owner_;
  };
  std::unique_ptr<Device> device_;
};

// What every raw scan test holds: the prompter, the form's listener, the stop
// flag, a destination folder and a request for all four kinds. A test makes
// its disk and calls UseOpener with the source of disk 0.
class RawScanFixture : public ::testing::Test {
protected:
  void UseOpener(DeviceOpener& opener) { reader_ = std::make_unique<SectorReader>(opener, prompter); }
  RawScanResult Scan() {
    const DiskView disk{reader_.get(), std::string(kDevicePathTable[0])};
    return RawScan(disk, request, prompter, model, stop);
  }
  void Tick(std::initializer_list<RawFileKind> kinds) {
    request.form.ticked = {};
    for (auto kind : kinds) request.form.ticked[KindIndex(kind)] = true;
  }

  FakePrompter prompter;
  RawFormModel model;
  std::atomic<bool> stop{false};
  TempDir out;
  RawScanRequest request = [this] {
    RawScanRequest r;
    r.form.ticked = {true, true, true, true};
    r.destination = out.path();
    return r;
  }();

private:
  std::unique_ptr<SectorReader> reader_;
};

}  // namespace ov::test
