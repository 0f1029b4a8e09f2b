// placeholder: implemented next
