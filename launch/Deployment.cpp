#include "launch/Deployment.h"

#include "tarnkit_deploy.h"

namespace tarn {

Deployment BuiltInDeployment() {
    return Deployment{TARNKIT_WEB_HOST,
                      TARNKIT_SUPPORT_PHONE,
                      TARNKIT_GSN_PROXY_HOST,
                      TARNKIT_RUSTDESK_HOST,
                      TARNKIT_RUSTDESK_KEY,
                      {{"AnyDesk.exe", TARNKIT_SHA256_ANYDESK, TARNKIT_PUBLISHER_ANYDESK},
                       {"RustDesk.exe", TARNKIT_SHA256_RUSTDESK, TARNKIT_PUBLISHER_RUSTDESK},
                       {"Aweray.exe", TARNKIT_SHA256_AWERAY, TARNKIT_PUBLISHER_AWERAY},
                       {"AeroAdmin.exe", TARNKIT_SHA256_AEROADMIN, TARNKIT_PUBLISHER_AEROADMIN},
                       {"tarn-ie11.exe", TARNKIT_SHA256_IE11, TARNKIT_PUBLISHER_IE11}},
                      TARNKIT_HTTPS != 0};
}

}  // namespace tarn
