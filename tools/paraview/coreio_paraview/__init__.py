"""ParaView's side of the CoreIoAlign plugin: its inputs as coreio bodies and the alignment's fields
back on the after input (datasets, alignment), and the start-up step that lets ParaView 5.11 load
Python plugins under Python 3.11 (paraview_compat)."""
