// Placeholder until worker threads land.
#include "kxcom/thread.h"

struct CKXThread::Impl {};
CKXThread::CKXThread(std::function<void()>) : impl_(new Impl) {}
CKXThread::~CKXThread() = default;
bool CKXThread::Start() noexcept { return false; }
void CKXThread::Join() noexcept {}
void CKXThread::SignalStop() noexcept {}
bool CKXThread::IsStopSignaled(unsigned int) const noexcept { return false; }
CKXThread* CKXThread::GetWorkerThread() noexcept { return nullptr; }
