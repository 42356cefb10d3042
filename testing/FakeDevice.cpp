#include "testing/FakeDevice.h"

#include <algorithm>
#include <chrono>

namespace ostrel::serial {

using Lock = std::unique_lock<std::mutex>;

void TVaFakeDevice::raise(uint32_t evBits) {
  pending_ |= evBits & mask_;
  cv_.notify_all();
}

void TVaFakeDevice::injectBytes(const std::string& bytes) {
  Lock l(m_);
  in_ += bytes;
  uint32_t bits = ev::RxChar;
  if (bytes.find(static_cast<char>(dcb_.EvtChar)) != std::string::npos) bits |= ev::RxFlag;
  raise(bits);
}

void TVaFakeDevice::injectErrors(uint32_t ceFlags) {
  Lock l(m_);
  errors_ |= ceFlags;
  raise(ev::Err);
}

void TVaFakeDevice::injectEvents(uint32_t evBits) {
  Lock l(m_);
  raise(evBits);
}

void TVaFakeDevice::inject(const std::string& bytes, uint32_t ceFlags, uint32_t evBits) {
  Lock l(m_);
  in_ += bytes;
  errors_ |= ceFlags;
  raise(evBits | (bytes.empty() ? 0 : ev::RxChar) | (ceFlags ? ev::Err : 0));
}

void TVaFakeDevice::pullAway() {
  Lock l(m_);
  lost_ = true;
  cv_.notify_all();
}

void TVaFakeDevice::failNextWait(int err, int times) {
  Lock l(m_);
  waitErr_ = err;
  waitErrTimes_ = times;
  cv_.notify_all();
}

void TVaFakeDevice::failNextRead(int err) {
  Lock l(m_);
  readErr_ = err;
}
void TVaFakeDevice::limitNextRead(size_t bytes) {
  Lock l(m_);
  readLimit_ = bytes;
}
void TVaFakeDevice::refuseWrites(int err) {
  Lock l(m_);
  writeErr_ = err;
}
void TVaFakeDevice::setWriteCapacity(size_t bytes) {
  Lock l(m_);
  writeCapacity_ = bytes;
  cv_.notify_all();
}
void TVaFakeDevice::setWriteDelayMs(int ms) {
  Lock l(m_);
  writeDelayMs_ = ms;
}
void TVaFakeDevice::setOutQueue(uint32_t n) {
  Lock l(m_);
  outQue_ = n;
}

void TVaFakeDevice::holdNextWriteStart() {
  Lock l(m_);
  holdWrite_ = true;
}
void TVaFakeDevice::releaseWriteStart() {
  Lock l(m_);
  holdWrite_ = false;
  cv_.notify_all();
}
bool TVaFakeDevice::writeStartHeld() const {
  Lock l(m_);
  return writeHeld_;
}
int TVaFakeDevice::interruptCalls() const {
  Lock l(m_);
  return interruptCalls_;
}
long TVaFakeDevice::writeCalls() const {
  Lock l(m_);
  return writeCalls_;
}

void TVaFakeDevice::drainOutput() {
  Lock l(m_);
  if (outQueued_ == 0) return;
  outQueued_ = 0;
  raise(ev::TxEmpty);
}

void TVaFakeDevice::failNext(const std::string& operation, int err) {
  Lock l(m_);
  failures_.emplace_back(operation, err);
}

int TVaFakeDevice::takeFailure(const char* op) {
  // caller holds m_
  if (closed_) return EBADF;
  if (lost_) return EIO;
  for (auto it = failures_.begin(); it != failures_.end(); ++it)
    if (it->first == op) {
      int e = it->second;
      failures_.erase(it);
      return e;
    }
  return 0;
}

std::string TVaFakeDevice::written() const {
  Lock l(m_);
  return out_;
}
std::string TVaFakeDevice::pendingInput() const {
  Lock l(m_);
  return in_;
}
TVaDcb TVaFakeDevice::dcb() const {
  Lock l(m_);
  return dcb_;
}
int TVaFakeDevice::dcbWrites() const {
  Lock l(m_);
  return dcbWrites_;
}
uint32_t TVaFakeDevice::eventMask() const {
  Lock l(m_);
  return mask_;
}
uint32_t TVaFakeDevice::inSize() const {
  Lock l(m_);
  return inSize_;
}
uint32_t TVaFakeDevice::outSize() const {
  Lock l(m_);
  return outSize_;
}
bool TVaFakeDevice::timeoutsSet() const {
  Lock l(m_);
  return timeouts_;
}
std::vector<uint32_t> TVaFakeDevice::purges() const {
  Lock l(m_);
  return purges_;
}
std::vector<uint32_t> TVaFakeDevice::escapes() const {
  Lock l(m_);
  return escapes_;
}
std::vector<size_t> TVaFakeDevice::unsentAtEscapes() const {
  Lock l(m_);
  return unsentAtEscapes_;
}
bool TVaFakeDevice::sendWaiting() const {
  Lock l(m_);
  return sendWaiting_;
}
bool TVaFakeDevice::closed() const {
  Lock l(m_);
  return closed_;
}
long TVaFakeDevice::waitCalls() const {
  Lock l(m_);
  return waitCalls_;
}
bool TVaFakeDevice::waiting() const {
  Lock l(m_);
  return waiting_;
}

int TVaFakeDevice::applyLineConfiguration(const TVaDcb& d) {
  Lock l(m_);
  if (int e = takeFailure("dcb")) return e;
  if (!stopBitsFit(d.ByteSize, d.StopBits)) return EINVAL;
  dcb_ = d;
  ++dcbWrites_;
  return 0;
}

int TVaFakeDevice::setQueueSizes(uint32_t inSize, uint32_t outSize) {
  Lock l(m_);
  if (int e = takeFailure("queues")) return e;
  inSize_ = inSize;
  outSize_ = outSize;
  return 0;
}

int TVaFakeDevice::setNonBlockingTimeouts() {
  Lock l(m_);
  if (int e = takeFailure("timeouts")) return e;
  timeouts_ = true;
  return 0;
}

int TVaFakeDevice::setEventMask(uint32_t mask) {
  Lock l(m_);
  if (int e = takeFailure("mask")) return e;
  mask_ = mask;
  pending_ &= mask;
  return 0;
}

int TVaFakeDevice::waitEvent(uint32_t& events) {
  Lock l(m_);
  ++waitCalls_;
  events = 0;
  if (closed_) return EBADF;
  if (lost_) return EIO;
  if (waitErrTimes_ > 0) {
    --waitErrTimes_;
    return waitErr_;
  }
  waiting_ = true;
  cv_.wait(l, [&] { return cancel_ || closed_ || lost_ || (pending_ & mask_) != 0; });
  waiting_ = false;
  if (cancel_) {
    cancel_ = false;
    return ECANCELED;
  }
  if (closed_) return EBADF;
  if (lost_) return EIO;
  events = pending_ & mask_;
  pending_ = 0;
  return 0;
}

void TVaFakeDevice::cancelWait() {
  Lock l(m_);
  cancel_ = true;
  cv_.notify_all();
}

int TVaFakeDevice::read(uint8_t* buf, size_t count, size_t& got) {
  Lock l(m_);
  got = 0;
  if (int e = takeFailure("read")) return e;
  if (readErr_) {
    int e = readErr_;
    readErr_ = 0;
    return e;
  }
  got = std::min({count, in_.size(), readLimit_});
  readLimit_ = static_cast<size_t>(-1);
  std::copy_n(in_.data(), got, buf);
  in_.erase(0, got);
  return 0;
}

int TVaFakeDevice::write(const uint8_t* data, size_t count, int timeoutMs, size_t& written,
                         const std::atomic<bool>* abort) {
  Lock l(m_);
  written = 0;
  ++writeCalls_;
  if (holdWrite_) {
    writeHeld_ = true;
    cv_.wait(l, [&] { return !holdWrite_ || closed_; });
    writeHeld_ = false;
  }
  if (int e = takeFailure("write")) return e;
  if (writeErr_) return writeErr_;
  // In progress from here on; an abort applies to the writes in progress only.
  ++writers_;
  struct Done {
    TVaFakeDevice& d;
    ~Done() {
      if (--d.writers_ == 0) d.interrupt_ = false;
    }
  } done{*this};
  auto start = std::chrono::steady_clock::now();
  auto deadline =
      timeoutMs < 0 ? std::chrono::steady_clock::time_point::max() : start + std::chrono::milliseconds(timeoutMs);
  auto stop = [&] { return interrupt_ || (abort && *abort) || closed_ || lost_; };
  if (writeDelayMs_ > 0) {
    auto until = std::min(deadline, start + std::chrono::milliseconds(writeDelayMs_));
    cv_.wait_until(l, until, stop);
    if (until < start + std::chrono::milliseconds(writeDelayMs_)) return 0;  // timed out first
  }
  while (written < count && !stop()) {
    size_t room = writeCapacity_ > outQueued_ ? writeCapacity_ - outQueued_ : 0;
    if (room == 0) {
      if (!cv_.wait_until(l, deadline, [&] { return stop() || outQueued_ < writeCapacity_; })) break;
      continue;
    }
    size_t n = std::min(room, count - written);
    out_.append(reinterpret_cast<const char*>(data) + written, n);
    written += n;
    outQueued_ += n;
  }
  if (closed_) return EBADF;
  if (lost_) return EIO;
  if (writeCapacity_ == static_cast<size_t>(-1) && outQueued_ > 0) {
    outQueued_ = 0;  // an unlimited device sends at once
    raise(ev::TxEmpty);
  }
  return 0;
}

void TVaFakeDevice::interruptWrite() {
  Lock l(m_);
  ++interruptCalls_;
  if (writers_ == 0) return;  // nothing to abort: the next write goes out whole
  interrupt_ = true;
  cv_.notify_all();
}

int TVaFakeDevice::waitUntilSent(int timeoutMs) {
  Lock l(m_);
  if (int e = takeFailure("sent")) return e;
  sendWaiting_ = true;
  bool sent =
      cv_.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return outQueued_ == 0 || closed_ || lost_; });
  sendWaiting_ = false;
  if (closed_) return EBADF;
  if (lost_) return EIO;
  return sent ? 0 : ETIMEDOUT;
}

int TVaFakeDevice::clearError(uint32_t& errors, TVaComStat& stat) {
  Lock l(m_);
  errors = 0;
  stat = {};
  if (int e = takeFailure("status")) return e;
  errors = errors_;
  errors_ = 0;
  stat.InQue = static_cast<uint32_t>(in_.size());
  stat.OutQue = static_cast<uint32_t>(outQueued_) + outQue_;
  return 0;
}

int TVaFakeDevice::purge(uint32_t flags) {
  Lock l(m_);
  if (int e = takeFailure("purge")) return e;
  purges_.push_back(flags);
  if (flags & purge::RxClear) in_.clear();
  if (flags & purge::TxClear) outQueued_ = 0;
  cv_.notify_all();
  return 0;
}

int TVaFakeDevice::escape(uint32_t code) {
  Lock l(m_);
  if (int e = takeFailure("escape")) return e;
  escapes_.push_back(code);
  unsentAtEscapes_.push_back(outQueued_);
  return 0;
}

void TVaFakeDevice::reopen() {
  Lock l(m_);
  closed_ = cancel_ = interrupt_ = false;
  pending_ = 0;
}

void TVaFakeDevice::close() {
  Lock l(m_);
  closed_ = true;
  cv_.notify_all();
}

}  // namespace ostrel::serial
