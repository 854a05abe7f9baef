"""ParaView plugin CoreIoAlign: the filter "Align Through Material Coordinates".

The after body with everything coreio-align -o writes: its points moved to the aligned shape (the
before shape at its material points), DISPL_ (after minus aligned, for Warp By Vector) and
DISPL_MAG, MATCH_STATUS, MATCHED_NODE_ID and the before arrays as BEFORE_<NAME>; the summary as
field data ALIGNMENT_<NAME> and in the output messages. Each input gives the data it shows at the
view's time; the output follows the after input's time steps.

Load it with Tools > Manage Plugins > Load New, PV_PLUGIN_PATH=<this folder>, or
LoadPlugin("<this file>", ns=globals()) in pvpython.
"""
import dataclasses

from paraview.util.vtkAlgorithm import VTKPythonAlgorithmBase, smdomain, smhint, smproperty, smproxy
from vtkmodules.vtkCommonCore import vtkOutputWindow
from vtkmodules.vtkCommonDataModel import vtkDataObject
from vtkmodules.vtkCommonExecutionModel import vtkStreamingDemandDrivenPipeline

try:
    from coreio_paraview.alignment import Choices, align_inputs, summary_text
except ImportError as error:
    raise ImportError(f"the plugin CoreIoAlign needs the Python packages coreio and coreio_paraview, which cmake "
                      f"--install puts in the same prefix; below a prefix outside Python's own folders, start ParaView "
                      f"with PYTHONUSERBASE=<prefix> ({error})") from error

paraview_plugin_name = "CoreIoAlign"
paraview_plugin_version = "@PROJECT_VERSION@"

LABEL = "Align Through Material Coordinates"
TUBE_MODES = ("auto", "yes", "no")
INPUT_TYPES = ["vtkUnstructuredGrid", "vtkPolyData"]


@smproxy.filter(name="AlignThroughMaterialCoordinates", label=LABEL)
@smhint.xml('<ShowInMenu category="Alignment" />')
@smproperty.xml('<DoubleVectorProperty name="TimestepValues" information_only="1" repeatable="1">'
                '<TimeStepsInformationHelper/></DoubleVectorProperty>')
@smproperty.input(name="After", port_index=1)
@smdomain.datatype(dataTypes=INPUT_TYPES, composite_data_supported=True)
@smproperty.input(name="Before", port_index=0)
@smdomain.datatype(dataTypes=INPUT_TYPES, composite_data_supported=True)
class AlignThroughMaterialCoordinates(VTKPythonAlgorithmBase):
    def __init__(self):
        super().__init__(nInputPorts=2, nOutputPorts=1, inputType="vtkDataObject", outputType="vtkDataObject")
        self._choices = Choices()

    @smproperty.xml("""<StringVectorProperty name="InitialCoordinates" label="Initial Coordinates"
            command="SetInitialCoordinates" number_of_elements="1" default_values="INITIALCOORD0,INITIALCOORD1">
        <Documentation>The two point arrays holding the initial (material) coordinates, as NAME0,NAME1 in any
        case; or reference-xy, reference-yz, reference-zx (the reference shape projected on a plane: a blank that
        starts flat) or reference-cylinder-x, -y, -z (R * angle and axial position around the axis through the
        centroid: a tube). The reference shape is the points less the displacement the Exodus reader applied.
        </Documentation></StringVectorProperty>""")
    def SetInitialCoordinates(self, value):
        self._choose(initial_coordinates=value)

    @smproperty.xml("""<IntVectorProperty name="Tube" command="SetTube" number_of_elements="1" default_values="0">
        <EnumerationDomain name="enum"><Entry value="0" text="auto"/><Entry value="1" text="yes"/>
        <Entry value="2" text="no"/></EnumerationDomain>
        <Documentation>Whether the part is a tube, whose initial coordinates wrap around. auto: decided from the
        data (yes with reference-cylinder initial coordinates).</Documentation></IntVectorProperty>""")
    def SetTube(self, value):
        self._choose(tube=TUBE_MODES[value])

    @smproperty.xml("""<IntVectorProperty name="Complete" command="SetComplete" number_of_elements="1"
            default_values="0"><BooleanDomain name="bool"/>
        <Documentation>Give every after point a match, through the nearest before point when needed.
        </Documentation></IntVectorProperty>""")
    def SetComplete(self, value):
        self._choose(complete=bool(value))

    @smproperty.xml("""<StringVectorProperty name="MapArrays" label="Map Arrays" command="SetMapArrays"
            number_of_elements="1" default_values="all">
        <Documentation>The before input's point and cell arrays carried to the output as BEFORE_NAME: all, none,
        or NAME,NAME,... Point arrays are interpolated at each after point's material point (the nearest point
        when near, NaN when outside); cell arrays are taken from the before cell that holds each after cell's
        centroid.</Documentation></StringVectorProperty>""")
    def SetMapArrays(self, value):
        self._choose(map=value)

    @smproperty.xml("""<DoubleVectorProperty name="MinimumCoverage" label="Minimum Coverage"
            command="SetMinimumCoverage" number_of_elements="1" default_values="1">
        <DoubleRangeDomain name="range" min="0" max="1"/>
        <Documentation>The share of after points that must be located in the before body; below it the output
        messages say how many lie outside (MATCH_STATUS 3). The output is made all the same.
        </Documentation></DoubleVectorProperty>""")
    def SetMinimumCoverage(self, value):
        self._choose(minimum_coverage=float(value))

    def _choose(self, **choice):
        self._choices = dataclasses.replace(self._choices, **choice)
        self.Modified()

    def RequestDataObject(self, request, inInfoVec, outInfoVec):
        after = vtkDataObject.GetData(inInfoVec[1], 0)
        output = vtkDataObject.GetData(outInfoVec, 0)
        if after is not None and (output is None or output.GetClassName() != after.GetClassName()):
            outInfoVec.GetInformationObject(0).Set(vtkDataObject.DATA_OBJECT(), after.NewInstance())
        return 1

    def RequestInformation(self, request, inInfoVec, outInfoVec):
        # The output is the after body: its time steps, not the before input's.
        after = inInfoVec[1].GetInformationObject(0)
        output = outInfoVec.GetInformationObject(0)
        for key in (vtkStreamingDemandDrivenPipeline.TIME_STEPS(), vtkStreamingDemandDrivenPipeline.TIME_RANGE()):
            if after.Has(key):
                output.CopyEntry(after, key)
            else:
                output.Remove(key)
        return 1

    def RequestData(self, request, inInfoVec, outInfoVec):
        output = vtkDataObject.GetData(outInfoVec, 0)
        try:
            aligned = align_inputs(vtkDataObject.GetData(inInfoVec[0], 0), vtkDataObject.GetData(inInfoVec[1], 0),
                                   self._choices)
        except ValueError as error:
            vtkOutputWindow.GetInstance().DisplayErrorText(f"{LABEL}: {error}\n")
            output.Initialize()
            return 1
        output.ShallowCopy(aligned.output)
        if aligned.summary["after_time"] is not None:
            output.GetInformation().Set(vtkDataObject.DATA_TIME_STEP(), aligned.summary["after_time"])
        vtkOutputWindow.GetInstance().DisplayText(f"{LABEL}:\n{summary_text(aligned.summary)}\n")
        for warning in aligned.warnings:
            vtkOutputWindow.GetInstance().DisplayWarningText(f"{LABEL}: {warning}\n")
        return 1
