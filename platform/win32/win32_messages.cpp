// The thread's message queue.
#include "platform/win32/windows_headers.h"

#include "platform/win32/win32_platform.h"

namespace velmora {
namespace {

Message FromMSG(const MSG& msg) {
  Message message;
  message.window = msg.hwnd;
  message.message = msg.message;
  message.wParam = msg.wParam;
  message.lParam = msg.lParam;
  message.time = msg.time;
  message.x = msg.pt.x;
  message.y = msg.pt.y;
  return message;
}

MSG ToMSG(const Message& message) {
  MSG msg;
  ZeroMemory(&msg, sizeof(msg));
  msg.hwnd = static_cast<HWND>(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  msg.time = message.time;
  msg.pt.x = message.x;
  msg.pt.y = message.y;
  return msg;
}

}  // namespace

bool Win32Platform::PeekMessageNoRemove(Message& message) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
  message = FromMSG(msg);
  return true;
}

bool Win32Platform::IsWindowUnicode(Window window) {
  return window != nullptr && ::IsWindowUnicode(static_cast<HWND>(window)) != FALSE;
}

int Win32Platform::GetMessageW(Message& message) {
  MSG msg;
  BOOL result = ::GetMessageW(&msg, nullptr, 0, 0);
  if (result > 0) message = FromMSG(msg);
  return result;
}

int Win32Platform::GetMessageA(Message& message) {
  MSG msg;
  BOOL result = ::GetMessageA(&msg, nullptr, 0, 0);
  if (result > 0) message = FromMSG(msg);
  return result;
}

void Win32Platform::TranslateMessage(const Message& message) {
  MSG msg = ToMSG(message);
  ::TranslateMessage(&msg);
}

void Win32Platform::DispatchMessageW(const Message& message) {
  MSG msg = ToMSG(message);
  ::DispatchMessageW(&msg);
}

void Win32Platform::DispatchMessageA(const Message& message) {
  MSG msg = ToMSG(message);
  ::DispatchMessageA(&msg);
}

}  // namespace velmora
