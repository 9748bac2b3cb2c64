# Addresses of the services Vesk talks to belong to the build, not to the code.
set(VESK_PRODUCT_SITE "https://vesk.example.org" CACHE STRING "Product web site")
set(VESK_BOX_CATALOGUE_HOST "https://app.vagrantup.com" CACHE STRING "Public Vagrant box catalogue")
set(VESK_BOX_CATALOGUE_SEARCH "/boxes/search?provider=virtualbox" CACHE STRING
    "The catalogue's search page, on its host")
set(VESK_ATLAS_HOST "https://atlas.hashicorp.com" CACHE STRING "Atlas login service")
set(VESK_DOWNLOAD_HOST "https://vesk.example.org/downloads" CACHE STRING "Installer downloads")
set(VESK_NEWSLETTER_HOST "https://vesk.example.org/newsletter" CACHE STRING "Newsletter list service")
set(VESK_NEWSLETTER_LIST "vesk-users" CACHE STRING "Newsletter list identifier")
set(VESK_FEEDBACK_URL "https://vesk.example.org/feedback" CACHE STRING "Feedback endpoint")
set(VESK_UPDATE_FEED "https://vesk.example.org/vesk/update.json" CACHE STRING "Software update feed")
set(VESK_ANALYTICS_SECRET "6f1c2a3e-9b4d-4c8e-a1f2-3d4e5f6a7b8c" CACHE STRING "Crash and usage client secret")
