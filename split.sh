rm -rf frames && mkdir frames && convert walk.gif -coalesce frames/frame-%03d.png &&
 --kind gro --quiet frames/*.png
